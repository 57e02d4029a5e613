// Windows has no OpenSSL; its own cryptography API (CNG, bcrypt.dll) has
// both digests.
#include <windows.h>
// windows.h first: bcrypt.h builds on its types.
#include <bcrypt.h>

#include "core/error.hpp"
#include "core/files/digests.hpp"

namespace vips::platform {

namespace {

[[noreturn]] void Fail() {
  throw Error("the MD5 and SHA-1 digests are not available");
}

// One hash object of the algorithm `id` with its provider.
struct Hash {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;

  void Open(LPCWSTR id) {
    if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&algorithm, id, nullptr, 0)) ||
        !BCRYPT_SUCCESS(::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0))) {
      Fail();
    }
  }
  // A piece is one read's bytes, which ReadFile counts in a DWORD as this call does.
  void Update(const std::uint8_t* bytes, std::size_t size) {
    const auto length = static_cast<ULONG>(size);
    if (!BCRYPT_SUCCESS(::BCryptHashData(hash, const_cast<PUCHAR>(bytes), length, 0))) Fail();
  }
  void Finish(std::uint8_t* digest, ULONG size) {
    if (!BCRYPT_SUCCESS(::BCryptFinishHash(hash, digest, size, 0))) Fail();
  }
  ~Hash() {
    if (hash != nullptr) ::BCryptDestroyHash(hash);
    if (algorithm != nullptr) ::BCryptCloseAlgorithmProvider(algorithm, 0);
  }
};

}  // namespace

void Md5Sha1(const Feed& feed, std::array<std::uint8_t, 16>& md5,
             std::array<std::uint8_t, 20>& sha1) {
  Hash md5Hash;
  Hash sha1Hash;
  md5Hash.Open(BCRYPT_MD5_ALGORITHM);
  sha1Hash.Open(BCRYPT_SHA1_ALGORITHM);
  feed([&](const std::uint8_t* bytes, std::size_t size) {
    md5Hash.Update(bytes, size);
    sha1Hash.Update(bytes, size);
  });
  md5Hash.Finish(md5.data(), static_cast<ULONG>(md5.size()));
  sha1Hash.Finish(sha1.data(), static_cast<ULONG>(sha1.size()));
}

}  // namespace vips::platform
