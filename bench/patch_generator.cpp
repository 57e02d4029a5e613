#include "patch_generator.hpp"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace vips::bench {
namespace {

constexpr std::uint64_t kAddressSpace = 0x1000000;
constexpr std::uint32_t kEndMarker = 0x454F46;
constexpr std::uint32_t kFullSize = 65535;
constexpr std::uint32_t kSmallest = 1;
constexpr std::uint32_t kLargestSmall = 64;

void PutOffset(std::vector<std::uint8_t>& out, std::uint32_t offset) {
  out.push_back(static_cast<std::uint8_t>(offset >> 16));
  out.push_back(static_cast<std::uint8_t>(offset >> 8));
  out.push_back(static_cast<std::uint8_t>(offset));
}

void PutWord(std::vector<std::uint8_t>& out, std::uint32_t value) {
  out.push_back(static_cast<std::uint8_t>(value >> 8));
  out.push_back(static_cast<std::uint8_t>(value));
}

std::uint32_t DrawOffset(SplitMix64& random, std::uint64_t limit) {
  while (true) {
    const auto offset = static_cast<std::uint32_t>(random.Below(limit));
    if (offset != kEndMarker) return offset;
  }
}

void PutDataRecord(std::vector<std::uint8_t>& out, SplitMix64& random, std::uint32_t offset,
                   std::uint32_t size) {
  PutOffset(out, offset);
  PutWord(out, size);
  for (std::uint32_t i = 0; i < size; ++i) out.push_back(static_cast<std::uint8_t>(random.Next()));
}

void PutRunRecord(std::vector<std::uint8_t>& out, std::uint32_t offset, std::uint32_t length,
                  std::uint8_t value) {
  PutOffset(out, offset);
  PutWord(out, 0);
  PutWord(out, length);
  out.push_back(value);
}

}  // namespace

std::uint64_t SplitMix64::Next() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

std::vector<std::uint8_t> MakeOriginal(std::uint64_t bytes, std::uint64_t seed) {
  SplitMix64 random(seed ^ 0x6F726967696E616CULL);
  std::vector<std::uint8_t> out(bytes);
  for (std::uint64_t i = 0; i < bytes; i += 8) {
    const std::uint64_t word = random.Next();
    for (std::uint64_t k = 0; k < 8 && i + k < bytes; ++k) {
      out[i + k] = static_cast<std::uint8_t>(word >> (8 * k));
    }
  }
  return out;
}

std::vector<std::uint8_t> MakePatch(const PatchShape& shape) {
  SplitMix64 random(shape.seed);
  const std::uint64_t limit =
      shape.addressLimit == 0 ? kAddressSpace : std::min(shape.addressLimit, kAddressSpace);
  const int records = std::max(shape.records, 0);
  const int fullSize = std::clamp(shape.fullSizeRecords, 0, records);

  std::vector<std::uint8_t> out{'P', 'A', 'T', 'C', 'H'};
  out.reserve(static_cast<std::size_t>(records) * 30 + std::size_t{kFullSize} * fullSize + 8);
  int fullSizeWritten = 0;
  for (int index = 0; index < records; ++index) {
    const std::uint32_t offset = DrawOffset(random, limit);
    // The full-size records sit at evenly spaced places, the k-th near index
    // (k + 1/2) * records / fullSize; all of them fit even when fullSize
    // equals records.
    const bool isFullSize = fullSizeWritten < fullSize &&
                            std::int64_t{index} * fullSize >=
                                std::int64_t{fullSizeWritten} * records + (records - fullSize) / 2;
    if (isFullSize) {
      if (fullSizeWritten % 2 == 0) {
        PutDataRecord(out, random, offset, kFullSize);
      } else {
        PutRunRecord(out, offset, kFullSize, static_cast<std::uint8_t>(random.Next()));
      }
      ++fullSizeWritten;
      continue;
    }
    const std::uint64_t draw = random.Next();
    const auto length =
        static_cast<std::uint32_t>(kSmallest + (draw >> 8) % (kLargestSmall - kSmallest + 1));
    // Three data records to one run.
    if (draw % 4 != 0) {
      PutDataRecord(out, random, offset, length);
    } else {
      PutRunRecord(out, offset, length, static_cast<std::uint8_t>(draw >> 40));
    }
  }
  out.insert(out.end(), {'E', 'O', 'F'});
  return out;
}

bool ParseWhole(std::string_view text, std::uint64_t& value) {
  const auto* end = text.data() + text.size();
  const auto [rest, error] = std::from_chars(text.data(), end, value);
  return error == std::errc() && rest == end && !text.empty();
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  file.close();
  if (!file) throw std::runtime_error("cannot write " + path);
}

GeneratedCase WriteCase(const std::string& folder, std::uint64_t originalMiB, int records,
                        std::uint64_t seed, int fullSizeRecords) {
  std::filesystem::create_directories(folder);
  const std::uint64_t originalBytes = originalMiB * 1024 * 1024;
  GeneratedCase result{folder + "/original.bin", folder + "/patch.ips", originalBytes, 0};
  WriteBytes(result.originalPath, MakeOriginal(originalBytes, seed));
  PatchShape shape;
  shape.records = records;
  shape.seed = seed;
  shape.addressLimit = originalBytes;
  shape.fullSizeRecords = fullSizeRecords;
  const std::vector<std::uint8_t> patch = MakePatch(shape);
  WriteBytes(result.patchPath, patch);
  result.patchBytes = patch.size();
  return result;
}

}  // namespace vips::bench
