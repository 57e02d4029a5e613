#include <openssl/evp.h>

#include "core/error.hpp"
#include "core/platform/md5_sha1.hpp"

namespace vips::platform {

struct Md5Sha1::State {
  EVP_MD_CTX* md5 = nullptr;
  EVP_MD_CTX* sha1 = nullptr;
  ~State() {
    EVP_MD_CTX_free(md5);
    EVP_MD_CTX_free(sha1);
  }
};

namespace {

[[noreturn]] void Fail() {
  throw Error("the MD5 and SHA-1 digests are not available");
}

}  // namespace

Md5Sha1::Md5Sha1() : state_(std::make_unique<State>()) {
  state_->md5 = EVP_MD_CTX_new();
  state_->sha1 = EVP_MD_CTX_new();
  if (state_->md5 == nullptr || state_->sha1 == nullptr ||
      EVP_DigestInit_ex(state_->md5, EVP_md5(), nullptr) != 1 ||
      EVP_DigestInit_ex(state_->sha1, EVP_sha1(), nullptr) != 1) {
    Fail();
  }
}

Md5Sha1::~Md5Sha1() = default;

void Md5Sha1::Update(const std::uint8_t* bytes, std::size_t size) {
  if (EVP_DigestUpdate(state_->md5, bytes, size) != 1 ||
      EVP_DigestUpdate(state_->sha1, bytes, size) != 1) {
    Fail();
  }
}

void Md5Sha1::Finish(std::array<std::uint8_t, 16>& md5, std::array<std::uint8_t, 20>& sha1) {
  unsigned int md5Size = 0;
  unsigned int sha1Size = 0;
  if (EVP_DigestFinal_ex(state_->md5, md5.data(), &md5Size) != 1 || md5Size != md5.size() ||
      EVP_DigestFinal_ex(state_->sha1, sha1.data(), &sha1Size) != 1 || sha1Size != sha1.size()) {
    Fail();
  }
}

}  // namespace vips::platform
