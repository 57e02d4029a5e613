// Nettle's MD5 and SHA-1: a small shared library beside zlib, where loading
// OpenSSL's libcrypto would double the start of the command line.
#include <nettle/md5.h>
#include <nettle/sha1.h>

#include "core/files/md5_sha1.hpp"

namespace vips::platform {

struct Md5Sha1::State {
  md5_ctx md5;
  sha1_ctx sha1;
};

Md5Sha1::Md5Sha1() : state_(std::make_unique<State>()) {
  md5_init(&state_->md5);
  sha1_init(&state_->sha1);
}

Md5Sha1::~Md5Sha1() = default;

void Md5Sha1::Update(const std::uint8_t* bytes, std::size_t size) {
  md5_update(&state_->md5, size, bytes);
  sha1_update(&state_->sha1, size, bytes);
}

void Md5Sha1::Finish(std::array<std::uint8_t, 16>& md5, std::array<std::uint8_t, 20>& sha1) {
  md5_digest(&state_->md5, md5.size(), md5.data());
  sha1_digest(&state_->sha1, sha1.size(), sha1.data());
}

}  // namespace vips::platform
