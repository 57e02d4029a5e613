#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace vips::platform {

// Hands every piece of a stream of bytes to `take`.
using Feed = std::function<void(const std::function<void(const std::uint8_t*, std::size_t)>& take)>;

// MD5 and SHA-1 of the stream that `feed` gives, computed side by side by the
// system's digest library (Nettle, or Windows CNG). Failures throw
// vips::Error.
void Md5Sha1(const Feed& feed, std::array<std::uint8_t, 16>& md5,
             std::array<std::uint8_t, 20>& sha1);

}  // namespace vips::platform
