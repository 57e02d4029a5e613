// OpenSSL's own MD5 and SHA-1 functions rather than its EVP interface: linked
// in, EVP brings the whole provider machinery with it (megabytes, and
// thousands of relocations at every start of the command line), while these
// two need only their digests. OpenSSL 3 marks them as deprecated, not as
// going away.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/md5.h>
#include <openssl/sha.h>

#include "core/error.hpp"
#include "core/platform/md5_sha1.hpp"

namespace vips::platform {

struct Md5Sha1::State {
  MD5_CTX md5;
  SHA_CTX sha1;
};

namespace {

[[noreturn]] void Fail() {
  throw Error("the MD5 and SHA-1 digests are not available");
}

}  // namespace

Md5Sha1::Md5Sha1() : state_(std::make_unique<State>()) {
  if (MD5_Init(&state_->md5) != 1 || SHA1_Init(&state_->sha1) != 1) Fail();
}

Md5Sha1::~Md5Sha1() = default;

void Md5Sha1::Update(const std::uint8_t* bytes, std::size_t size) {
  if (MD5_Update(&state_->md5, bytes, size) != 1 || SHA1_Update(&state_->sha1, bytes, size) != 1) {
    Fail();
  }
}

void Md5Sha1::Finish(std::array<std::uint8_t, 16>& md5, std::array<std::uint8_t, 20>& sha1) {
  if (MD5_Final(md5.data(), &state_->md5) != 1 || SHA1_Final(sha1.data(), &state_->sha1) != 1) {
    Fail();
  }
}

}  // namespace vips::platform
