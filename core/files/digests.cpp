#include "core/files/digests.hpp"

#include <zlib.h>

#include "core/files/io_buffer.hpp"

namespace vips {
namespace {

constexpr std::size_t kPiece = 1024 * 1024;

// The CRC-32 (zlib's) of `file`, read piece by piece from its start; each
// piece also goes to `take(bytes, length)` and counts into `size`.
template <typename Take>
std::uint32_t Crc32Through(ExistingFile& file, std::uint64_t& size, Take&& take) {
  const IoBuffer buffer = NewIoBuffer(kPiece);
  uLong crc = ::crc32(0, nullptr, 0);
  while (const std::size_t read = file.ReadAt(size, buffer.get(), kPiece)) {
    crc = ::crc32(crc, buffer.get(), static_cast<uInt>(read));
    take(buffer.get(), read);
    size += read;
  }
  return static_cast<std::uint32_t>(crc);
}

}  // namespace

Digests DigestFile(ExistingFile& file) {
  Digests digests;
  platform::Md5Sha1(
      [&](const auto& hash) { digests.crc32 = Crc32Through(file, digests.size, hash); }, digests);
  return digests;
}

std::uint32_t Crc32OfFile(ExistingFile& file) {
  std::uint64_t size = 0;
  return Crc32Through(file, size, [](const std::uint8_t*, std::size_t) {});
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
