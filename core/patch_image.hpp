#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/large_bytes.hpp"

namespace vips {

// One record of a patch, with where its bytes stand in the patch.
struct PatchRecord {
  std::int32_t offset = 0;
  std::uint16_t size = 0;  // 0 for a run record
  std::uint16_t runLength = 0;
  std::uint8_t value = 0;
  std::size_t at = 0;  // the record's first byte (its offset field)

  [[nodiscard]] bool IsRun() const { return size == 0; }
  // How many bytes of the patched file the record writes.
  [[nodiscard]] std::uint32_t Count() const { return IsRun() ? runLength : size; }
  // How many bytes the record takes in the patch.
  [[nodiscard]] std::size_t EncodedSize() const { return IsRun() ? 8 : 5 + std::size_t{size}; }
};

// A whole patch held in memory, byte for byte as the patch file holds it,
// checked through to its end marker. Records are read from the bytes where
// they are needed, so the patch costs its own size in memory and no more.
class PatchImage {
 public:
  // Reads the patch at `path`, opened for reading only. Nothing for a file
  // whose header is not "PATCH". A patch cut before its end marker throws
  // "Read beyond end of file"; a patch file of 4 GiB or more the system's
  // "file too large" error; I/O failures throw too.
  static std::optional<PatchImage> Read(const std::string& path);

  [[nodiscard]] std::size_t RecordCount() const { return count_; }
  // The record whose offset field is at `at` (a record's `at`, or the byte
  // after the one before it).
  [[nodiscard]] PatchRecord RecordAt(std::size_t at) const {
    const std::uint8_t* b = bytes_.get() + at;
    PatchRecord record;
    record.at = at;
    record.offset = std::int32_t{b[0]} << 16 | std::int32_t{b[1]} << 8 | b[2];
    record.size = static_cast<std::uint16_t>(b[3] << 8 | b[4]);
    if (record.IsRun()) {
      record.runLength = static_cast<std::uint16_t>(b[5] << 8 | b[6]);
      record.value = b[7];
    }
    return record;
  }
  // Calls `visit(record)` for each record, in file order.
  template <typename Visit>
  void ForEachRecord(Visit&& visit) const {
    std::size_t at = 5;
    for (std::size_t i = 0; i < count_; ++i) {
      const PatchRecord record = RecordAt(at);
      visit(record);
      at += record.EncodedSize();
    }
  }
  // The patch's bytes, from its header, and how many it holds.
  [[nodiscard]] const std::uint8_t* Bytes() const { return bytes_.get(); }
  [[nodiscard]] std::size_t Size() const { return size_; }
  // The bytes of a data record.
  [[nodiscard]] const std::uint8_t* DataOf(const PatchRecord& record) const {
    return bytes_.get() + record.at + 5;
  }
  // The bytes of a data record, to be changed: the command line's writer
  // keeps there the file's bytes that the record replaced.
  [[nodiscard]] std::uint8_t* MutableDataOf(const PatchRecord& record) {
    return bytes_.get() + record.at + 5;
  }
  // The record as the patch holds it: offset, size and data or run body.
  [[nodiscard]] std::span<const std::uint8_t> Encoded(const PatchRecord& record) const {
    return {bytes_.get() + record.at, record.EncodedSize()};
  }

 private:
  LargeBytes bytes_;
  std::size_t size_ = 0;
  std::size_t count_ = 0;
};

// The header and the end marker of every IPS patch.
inline constexpr std::uint8_t kPatchHeader[] = {'P', 'A', 'T', 'C', 'H'};
inline constexpr std::uint8_t kPatchEnd[] = {'E', 'O', 'F'};

// A patch holding exactly the chosen records of `patch`, in their order,
// each byte for byte as in `patch`, with the header and the end marker.
std::vector<std::uint8_t> ExportRecords(const PatchImage& patch, const std::vector<bool>& chosen);

}  // namespace vips
