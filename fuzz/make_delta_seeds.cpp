// Writes the BPS and UPS seeds of the fuzzer's corpus into the folder given:
// patches from the linear BPS maker and the tests' UPS encoder, and a few
// whose actions no maker writes, each behind the fuzzer's four control bytes
// and made for the original the fuzzer derives from them.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "core/delta/bps_maker.hpp"
#include "tests/core/delta_builder.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The fuzzer's original of `length` bytes.
Bytes Original(std::size_t length) {
  Bytes original(length);
  for (std::size_t i = 0; i < length; ++i) original[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return original;
}

Bytes Changed(Bytes bytes, std::size_t length, std::uint8_t seed) {
  bytes.resize(length, 0);
  for (std::size_t i = 3; i < length; i += 11) bytes[i] ^= static_cast<std::uint8_t>(seed + i);
  return bytes;
}

// Whether every seed was written.
bool written = true;

void Write(const std::string& folder, const std::string& name, std::uint8_t flags,
           std::uint16_t originalLength, const Bytes& patch) {
  Bytes input{flags, 0, static_cast<std::uint8_t>(originalLength >> 8),
              static_cast<std::uint8_t>(originalLength)};
  input.insert(input.end(), patch.begin(), patch.end());
  std::ofstream out(folder + "/" + name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(input.data()),
            static_cast<std::streamsize>(input.size()));
  if (!out.flush()) {
    std::fprintf(stderr, "vips_delta_seeds: cannot write %s/%s\n", folder.c_str(), name.c_str());
    written = false;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vips_delta_seeds FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  const Bytes original = Original(64);
  Write(folder, "delta_bps_grow.bin", 0, 0,
        vips::MakeLinearBps(original, Changed(original, 80, 1), "<seed/>"));
  Write(folder, "delta_bps_shrink.bin", 0, 0,
        vips::MakeLinearBps(original, Changed(original, 40, 2)));

  // Copies both ways through the source, and a target copy that repeats.
  const Bytes sixteen = Original(16);
  Bytes copied(sixteen.begin() + 8, sixteen.end());
  copied.insert(copied.end(), sixteen.begin(), sixteen.begin() + 8);
  copied.insert(copied.end(), 8, 'Z');
  Write(folder, "delta_bps_copies.bin", 0, 0,
        vips::testing::BpsBuilder(16, copied.size())
            .SourceCopy(8, 8)
            .SourceCopy(8, -16)
            .TargetRead({'Z'})
            .TargetCopy(7, 16)
            .Finish(sixteen, copied));

  Write(folder, "delta_ups_grow.bin", 0, 0,
        vips::testing::EncodeUps(original, Changed(original, 80, 3)));
  Write(folder, "delta_ups_shrink.bin", 0, 0,
        vips::testing::EncodeUps(original, Changed(original, 40, 4)));
  // Applied backwards: the original is the patch's target, footer untouched.
  Write(folder, "delta_ups_backwards.bin", 0xC0, 48,
        vips::testing::EncodeUps(Changed(Original(56), 56, 5), Original(48)));
  // Made for another original, footer untouched: refused.
  Write(folder, "delta_bps_other_original.bin", 0x80, 0,
        vips::MakeLinearBps(Changed(original, 64, 6), original));
  return written ? 0 : 1;
}
