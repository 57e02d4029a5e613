#include "core/files/digests.hpp"

#include <zlib.h>

#include "core/files/io_buffer.hpp"

namespace vips {
namespace {

constexpr std::size_t kPiece = 1024 * 1024;

// Hands the rest of `file` to `take(bytes, length)` piece by piece.
template <typename Take>
std::uint64_t ReadThrough(ExistingFile& file, Take&& take) {
  const IoBuffer buffer = NewIoBuffer(kPiece);
  std::uint64_t total = 0;
  while (const std::size_t read = file.ReadSome(buffer.get(), kPiece)) {
    take(buffer.get(), read);
    total += read;
  }
  return total;
}

std::uint32_t Crc32Update(std::uint32_t crc, const std::uint8_t* bytes, std::size_t length) {
  return static_cast<std::uint32_t>(::crc32(crc, bytes, static_cast<uInt>(length)));
}

}  // namespace

Digests DigestFile(ExistingFile& file) {
  Digests digests;
  std::uint32_t crc = Crc32Update(0, nullptr, 0);
  const auto feed = [&](const auto& hash) {
    digests.size = ReadThrough(file, [&](const std::uint8_t* bytes, std::size_t length) {
      crc = Crc32Update(crc, bytes, length);
      hash(bytes, length);
    });
  };
  platform::Md5Sha1(feed, digests.md5, digests.sha1);
  digests.crc32 = crc;
  return digests;
}

std::uint32_t Crc32OfFile(ExistingFile& file) {
  std::uint32_t crc = Crc32Update(0, nullptr, 0);
  ReadThrough(file, [&crc](const std::uint8_t* bytes, std::size_t length) {
    crc = Crc32Update(crc, bytes, length);
  });
  return crc;
}

std::string LowerHex(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const std::uint8_t byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xF];
  }
  return text;
}

std::string Crc32Text(std::uint32_t crc) {
  const std::uint8_t bytes[] = {
      static_cast<std::uint8_t>(crc >> 24), static_cast<std::uint8_t>(crc >> 16),
      static_cast<std::uint8_t>(crc >> 8), static_cast<std::uint8_t>(crc)};
  return LowerHex(bytes);
}

}  // namespace vips
