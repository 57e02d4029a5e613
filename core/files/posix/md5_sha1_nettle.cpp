// Nettle's MD5 and SHA-1: a small shared library beside zlib, where loading
// OpenSSL's libcrypto would double the start of the command line.
#include <nettle/md5.h>
#include <nettle/sha1.h>

#include "core/files/digests.hpp"

namespace vips::platform {

void Md5Sha1(const Feed& feed, Digests& digests) {
  md5_ctx md5State;
  sha1_ctx sha1State;
  md5_init(&md5State);
  sha1_init(&sha1State);
  feed([&](const std::uint8_t* bytes, std::size_t size) {
    md5_update(&md5State, size, bytes);
    sha1_update(&sha1State, size, bytes);
  });
  md5_digest(&md5State, digests.md5.size(), digests.md5.data());
  sha1_digest(&sha1State, digests.sha1.size(), digests.sha1.data());
}

}  // namespace vips::platform
