#include "core/ips_reader.hpp"

#include <algorithm>
#include <utility>

#include "core/error.hpp"

namespace vips {

namespace {

constexpr std::size_t kBufferSize = 64 * 1024;
constexpr char kHeader[] = {'P', 'A', 'T', 'C', 'H'};

}  // namespace

IpsReader::IpsReader(ExistingFile patch) : file_(std::move(patch)), buffer_(kBufferSize) {}

bool IpsReader::Fill() {
  if (begin_ < end_) return true;
  begin_ = 0;
  end_ = file_.ReadSome(buffer_.data(), buffer_.size());
  return end_ > 0;
}

std::uint8_t IpsReader::ReadByte() {
  if (!Fill()) throw Error(kReadBeyondEnd);
  return buffer_[begin_++];
}

bool IpsReader::ReadHeader() {
  std::size_t matched = 0;
  while (matched < sizeof(kHeader)) {
    if (!Fill()) return false;
    if (buffer_[begin_++] != static_cast<std::uint8_t>(kHeader[matched])) return false;
    ++matched;
  }
  return true;
}

std::int32_t IpsReader::ReadOffset() {
  const std::int32_t b0 = ReadByte();
  const std::int32_t b1 = ReadByte();
  const std::int32_t b2 = ReadByte();
  return b0 << 16 | b1 << 8 | b2;
}

std::uint16_t IpsReader::ReadSize() {
  const unsigned c0 = ReadByte();
  const unsigned c1 = ReadByte();
  return static_cast<std::uint16_t>(c0 << 8 | c1);
}

RunBody IpsReader::ReadRunBody() {
  RunBody body;
  const unsigned r0 = ReadByte();
  const unsigned r1 = ReadByte();
  body.runLength = static_cast<std::uint16_t>(r0 << 8 | r1);
  body.value = ReadByte();
  return body;
}

void IpsReader::ReadData(std::size_t count, std::vector<std::uint8_t>& out) {
  while (count > 0) {
    if (!Fill()) throw Error(kReadBeyondEnd);
    const std::size_t take = std::min(count, end_ - begin_);
    out.insert(out.end(), buffer_.begin() + static_cast<std::ptrdiff_t>(begin_),
               buffer_.begin() + static_cast<std::ptrdiff_t>(begin_ + take));
    begin_ += take;
    count -= take;
  }
}

void IpsReader::SkipData(std::size_t count) {
  while (count > 0) {
    if (!Fill()) throw Error(kReadBeyondEnd);
    const std::size_t take = std::min(count, end_ - begin_);
    begin_ += take;
    count -= take;
  }
}

}  // namespace vips
