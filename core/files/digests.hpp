#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "core/files/file_access.hpp"

namespace vips {

// The size and the usual checksums of a file's bytes.
struct Digests {
  std::uint64_t size = 0;
  std::uint32_t crc32 = 0;
  std::array<std::uint8_t, 16> md5{};
  std::array<std::uint8_t, 20> sha1{};
};

// Reads `file` from its start to its end.
Digests DigestFile(ExistingFile& file);
// The CRC-32 alone, the same way.
std::uint32_t Crc32OfFile(ExistingFile& file);

// Lower-case hexadecimal digits, two per byte.
std::string LowerHex(std::span<const std::uint8_t> bytes);
// A CRC-32 as 8 lower-case hexadecimal digits.
std::string Crc32Text(std::uint32_t crc);

namespace platform {

// Hands every piece of a stream of bytes to `take`.
using Feed = std::function<void(const std::function<void(const std::uint8_t*, std::size_t)>& take)>;
// The MD5 and SHA-1 of `digests` from the stream that `feed` gives, side by side, by the
// system's digest library (Nettle, or Windows CNG); failures throw vips::Error.
void Md5Sha1(const Feed& feed, Digests& digests);

}  // namespace platform

}  // namespace vips
