#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vips {

// One record of a patch, with where its bytes stand in PatchImage::Bytes().
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

// A whole patch held in memory: the header, the records and the end marker,
// byte for byte as the patch file holds them (bytes after the end marker
// are not read), and the list of its records in file order.
class PatchImage {
 public:
  // Reads the patch at `path`, opened for reading only, to its end marker.
  // Nothing for a file whose header is not "PATCH". A patch cut before its
  // end marker throws "Read beyond end of file"; I/O failures throw too.
  static std::optional<PatchImage> Read(const std::string& path);

  [[nodiscard]] const std::vector<PatchRecord>& Records() const { return records_; }
  [[nodiscard]] const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
  // The bytes of a data record.
  [[nodiscard]] const std::uint8_t* DataOf(const PatchRecord& record) const {
    return bytes_.data() + record.at + 5;
  }
  // The record as the patch holds it: offset, size and data or run body.
  [[nodiscard]] std::span<const std::uint8_t> Encoded(const PatchRecord& record) const {
    return {bytes_.data() + record.at, record.EncodedSize()};
  }

 private:
  std::vector<std::uint8_t> bytes_;
  std::vector<PatchRecord> records_;
};

// The header and the end marker of every IPS patch.
inline constexpr std::uint8_t kPatchHeader[] = {'P', 'A', 'T', 'C', 'H'};
inline constexpr std::uint8_t kPatchEnd[] = {'E', 'O', 'F'};

// A patch holding exactly the chosen records of `patch`, in their order,
// each byte for byte as in `patch`, with the header and the end marker.
std::vector<std::uint8_t> ExportRecords(const PatchImage& patch, const std::vector<bool>& chosen);

}  // namespace vips
