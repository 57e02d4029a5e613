#include "core/patch_image.hpp"

#include <algorithm>
#include <iterator>
#include <utility>

#include "core/file_access.hpp"
#include "core/ips_reader.hpp"

namespace vips {
namespace {

void PushWord(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
  bytes.push_back(static_cast<std::uint8_t>(value >> 8));
  bytes.push_back(static_cast<std::uint8_t>(value));
}

}  // namespace

std::optional<PatchImage> PatchImage::Read(const std::string& path) {
  ExistingFile file = ExistingFile::OpenForReading(path);
  const std::uint64_t length = file.Length();
  IpsReader reader(std::move(file));
  if (!reader.ReadHeader()) {
    reader.Close();
    return std::nullopt;
  }
  PatchImage image;
  std::vector<std::uint8_t>& bytes = image.bytes_;
  // Room for the whole file at once (bytes after the end marker are rare).
  bytes.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(length, std::size_t{1} << 30)));
  bytes.assign(std::begin(kPatchHeader), std::end(kPatchHeader));
  // A record takes at least 6 bytes of the patch: room for them all at once,
  // taken by the system only as records fill it.
  image.records_.reserve(static_cast<std::size_t>(
      std::min<std::uint64_t>(length / 6, (std::size_t{1} << 30) / sizeof(PatchRecord))));
  // The records are written back field by field: the encoding of a record
  // is unique, so these are the patch's own bytes.
  for (;;) {
    PatchRecord record;
    record.at = bytes.size();
    record.offset = reader.ReadOffset();
    if (record.offset == kEndMarkerOffset) break;
    bytes.push_back(static_cast<std::uint8_t>(record.offset >> 16));
    PushWord(bytes, static_cast<std::uint32_t>(record.offset));
    record.size = reader.ReadSize();
    PushWord(bytes, record.size);
    if (record.IsRun()) {
      const RunBody run = reader.ReadRunBody();
      record.runLength = run.runLength;
      record.value = run.value;
      PushWord(bytes, run.runLength);
      bytes.push_back(run.value);
    } else {
      reader.ReadData(record.size, [&bytes](const std::uint8_t* data, std::size_t length) {
        bytes.insert(bytes.end(), data, data + length);
      });
    }
    image.records_.push_back(record);
  }
  bytes.insert(bytes.end(), std::begin(kPatchEnd), std::end(kPatchEnd));
  reader.Close();
  return image;
}

std::vector<std::uint8_t> ExportRecords(const PatchImage& patch, const std::vector<bool>& chosen) {
  std::vector<std::uint8_t> bytes(std::begin(kPatchHeader), std::end(kPatchHeader));
  const std::vector<PatchRecord>& records = patch.Records();
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (!chosen.empty() && !chosen[i]) continue;
    const std::span<const std::uint8_t> encoded = patch.Encoded(records[i]);
    bytes.insert(bytes.end(), encoded.begin(), encoded.end());
  }
  bytes.insert(bytes.end(), std::begin(kPatchEnd), std::end(kPatchEnd));
  return bytes;
}

}  // namespace vips
