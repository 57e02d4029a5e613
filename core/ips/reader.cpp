#include "core/ips/reader.hpp"

#include <algorithm>
#include <exception>
#include <utility>

#include "core/error.hpp"

namespace vips {

PatchSource::PatchSource(ExistingFile file)
    : file_(std::move(file)), buffer_(NewIoBuffer(kBufferSize)) {}

PatchSource::PatchSource(std::span<const std::uint8_t> bytes, std::string name)
    : bytes_(bytes), name_(std::move(name)) {}

std::span<const std::uint8_t> PatchSource::NextPiece() {
  if (!file_) return std::exchange(bytes_, {});
  const std::size_t length = file_->ReadAt(read_, buffer_.get(), kBufferSize);
  read_ += length;
  return {buffer_.get(), length};
}

std::optional<IpsReader> IpsReader::Open(const std::string& path) {
  IpsReader reader(ExistingFile::OpenForReading(path));
  if (reader.ReadHeader()) return reader;
  reader.Close();
  return std::nullopt;
}

std::optional<IpsReader> IpsReader::Open(std::span<const std::uint8_t> bytes, std::string name) {
  IpsReader reader(PatchSource(bytes, std::move(name)));
  if (reader.ReadHeader()) return reader;
  return std::nullopt;
}

bool IpsReader::Fill() {
  if (begin_ < end_) return true;
  const std::span<const std::uint8_t> piece = source_.NextPiece();
  piece_ = piece.data();
  begin_ = 0;
  end_ = piece.size();
  return end_ > 0;
}

bool IpsReader::ReadHeader() {
  for (const std::uint8_t expected : kPatchHeader) {
    if (!Fill() || piece_[begin_++] != expected) return false;
  }
  return true;
}

std::size_t IpsReader::NextPiece(std::size_t wanted) {
  if (!Fill()) throw Error(kReadBeyondEnd, source_.Name());
  return std::min(wanted, end_ - begin_);
}

std::optional<std::uint32_t> IpsReader::ReadTruncation() {
  // A fourth byte tells that the three are not a length.
  std::uint32_t length = 0;
  int count = 0;
  for (; count < 4 && Fill(); ++count) length = length << 8 | piece_[begin_++];
  if (count != 3) return std::nullopt;
  return length;
}

bool BeginsAsPatch(const std::string& path) noexcept {
  try {
    return IpsReader::Open(path).has_value();
  } catch (const std::exception&) {
    return false;
  }
}

std::optional<PatchSummary> SummarizePatch(const std::string& path) {
  std::optional<IpsReader> reader = IpsReader::Open(path);
  if (!reader) return std::nullopt;
  PatchSummary summary;
  for (IpsRecord record; reader->ReadRecordHead(record); ++summary.records) {
    reader->SkipData(record.size);
    if (record.Count() > 0) summary.reach = std::max(summary.reach, record.End());
  }
  summary.truncation = reader->ReadTruncation();
  reader->Close();
  return summary;
}

}  // namespace vips
