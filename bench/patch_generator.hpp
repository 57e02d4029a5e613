#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vips::bench {

// splitmix64: a fixed, tiny generator, so the same seed gives the same files
// on every machine and with every standard library.
class SplitMix64 {
 public:
  explicit SplitMix64(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next();
  // A value in [0, bound); bound must be > 0. The slight modulo bias does
  // not matter for test data and keeps the sequence simple to reproduce.
  std::uint64_t Below(std::uint64_t bound) { return Next() % bound; }

 private:
  std::uint64_t state_;
};

struct PatchShape {
  int records = 0;
  std::uint64_t seed = 1;
  // Offsets are drawn from [0, min(addressLimit, 0x1000000)), never the end
  // marker's 0x454F46. 0 means the whole 24-bit range.
  std::uint64_t addressLimit = 0;
  // Records of 65535 bytes (data and run alternately), spread evenly; the
  // rest are data records of 1 to 64 bytes and runs of 1 to 64 bytes.
  int fullSizeRecords = 4;
};

// Contents of an original file of `bytes` pseudo-random bytes.
std::vector<std::uint8_t> MakeOriginal(std::uint64_t bytes, std::uint64_t seed);

// A whole IPS patch: header, the records of `shape`, end marker.
std::vector<std::uint8_t> MakePatch(const PatchShape& shape);

struct GeneratedCase {
  std::string originalPath;
  std::string patchPath;
  std::uint64_t originalBytes = 0;
  std::uint64_t patchBytes = 0;
};

// Writes `folder`/original.bin (originalMiB MiB) and `folder`/patch.ips
// (`records` records with offsets inside the original, `fullSizeRecords` of
// them 65535 bytes long). Creates the folder if needed; throws
// std::runtime_error when a file cannot be written.
GeneratedCase WriteCase(const std::string& folder, std::uint64_t originalMiB, int records,
                        std::uint64_t seed, int fullSizeRecords = PatchShape{}.fullSizeRecords);

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

// A whole decimal number of the bench tools' arguments into `value`; false
// for anything else (signs, blanks, nothing, a number too large).
bool ParseWhole(std::string_view text, std::uint64_t& value);

}  // namespace vips::bench
