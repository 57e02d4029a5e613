#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/delta/numbers.hpp"

namespace vips::testing {

using DeltaBytes = std::vector<std::uint8_t>;

inline std::uint32_t TestCrc32(std::span<const std::uint8_t> bytes) {
  return static_cast<std::uint32_t>(
      ::crc32(::crc32(0, nullptr, 0), bytes.data(), static_cast<uInt>(bytes.size())));
}

// Appends a footer: the source's and target's CRC-32, then the patch's own.
inline DeltaBytes WithFooter(DeltaBytes patch, std::uint32_t sourceCrc, std::uint32_t targetCrc) {
  for (const std::uint32_t crc : {sourceCrc, targetCrc}) {
    for (int shift = 0; shift < 32; shift += 8)
      patch.push_back(static_cast<std::uint8_t>(crc >> shift));
  }
  const std::uint32_t own = TestCrc32(patch);
  for (int shift = 0; shift < 32; shift += 8)
    patch.push_back(static_cast<std::uint8_t>(own >> shift));
  return patch;
}

// Builds a BPS patch action by action, for patches no maker writes.
class BpsBuilder {
 public:
  BpsBuilder(std::uint64_t sourceSize, std::uint64_t targetSize, const std::string& metadata = {})
      : bytes_{'B', 'P', 'S', '1'} {
    AppendNumber(bytes_, sourceSize);
    AppendNumber(bytes_, targetSize);
    AppendNumber(bytes_, metadata.size());
    bytes_.insert(bytes_.end(), metadata.begin(), metadata.end());
  }
  BpsBuilder& SourceRead(std::uint64_t length) { return Action(0, length); }
  BpsBuilder& TargetRead(const DeltaBytes& data) {
    Action(1, data.size());
    return Raw(data);
  }
  BpsBuilder& SourceCopy(std::uint64_t length, std::int64_t offset) {
    return Action(2, length).Offset(offset);
  }
  BpsBuilder& TargetCopy(std::uint64_t length, std::int64_t offset) {
    return Action(3, length).Offset(offset);
  }
  BpsBuilder& Raw(const DeltaBytes& data) {
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    return *this;
  }
  // The patch with a footer for this source and target.
  [[nodiscard]] DeltaBytes Finish(const DeltaBytes& source, const DeltaBytes& target) const {
    return WithFooter(bytes_, TestCrc32(source), TestCrc32(target));
  }

 private:
  BpsBuilder& Action(std::uint64_t action, std::uint64_t length) {
    AppendNumber(bytes_, (length - 1) << 2 | action);
    return *this;
  }
  BpsBuilder& Offset(std::int64_t offset) {
    const std::uint64_t magnitude = offset < 0 ? -static_cast<std::uint64_t>(offset) : offset;
    AppendNumber(bytes_, magnitude << 1 | (offset < 0 ? 1 : 0));
    return *this;
  }

  DeltaBytes bytes_;
};

// A UPS patch from `source` to `target`: each hunk skips the bytes where the
// two (read as 0 past their ends) agree, then XORs up to the next agreeing
// byte, which its 0 ends.
inline DeltaBytes EncodeUps(const DeltaBytes& source, const DeltaBytes& target) {
  DeltaBytes patch{'U', 'P', 'S', '1'};
  AppendNumber(patch, source.size());
  AppendNumber(patch, target.size());
  const auto at = [](const DeltaBytes& bytes, std::size_t i) -> std::uint8_t {
    return i < bytes.size() ? bytes[i] : 0;
  };
  const std::size_t length = std::max(source.size(), target.size());
  std::size_t next = 0;  // where the last hunk left the position
  for (std::size_t i = 0; i < length; ++i) {
    if (at(source, i) == at(target, i)) continue;
    AppendNumber(patch, i - next);
    for (; i < length && at(source, i) != at(target, i); ++i) {
      patch.push_back(at(source, i) ^ at(target, i));
    }
    patch.push_back(0);
    next = i + 1;
  }
  return WithFooter(patch, TestCrc32(source), TestCrc32(target));
}

}  // namespace vips::testing
