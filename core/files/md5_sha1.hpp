#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace vips::platform {

// MD5 and SHA-1 of one stream of bytes, computed side by side by the
// system's digest library (Nettle, or Windows CNG). Failures throw
// vips::Error.
class Md5Sha1 {
 public:
  Md5Sha1();
  ~Md5Sha1();
  Md5Sha1(const Md5Sha1&) = delete;
  Md5Sha1& operator=(const Md5Sha1&) = delete;

  void Update(const std::uint8_t* bytes, std::size_t size);
  void Finish(std::array<std::uint8_t, 16>& md5, std::array<std::uint8_t, 20>& sha1);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace vips::platform
