#include "core/patch_image.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <limits>
#include <utility>

#include "core/error.hpp"
#include "core/file_access.hpp"
#include "core/ips_reader.hpp"

namespace vips {

std::optional<PatchImage> PatchImage::Read(const std::string& path) {
  ExistingFile file = ExistingFile::OpenForReading(path);
  // Patches are read whole, in one piece; from 4 GiB on they are refused,
  // as the in-place writer refuses them, so that every command takes the
  // same patches.
  constexpr std::uint64_t kLargest = std::numeric_limits<std::uint32_t>::max();
  const std::uint64_t length = file.Length();
  if (length > kLargest) throw Error(IoErrorText(EFBIG), path);
  // One byte more than the length, so that the read that finds the end of
  // the file needs no second buffer.
  std::size_t capacity = static_cast<std::size_t>(length) + 1;
  // Rounded up to whole 2 MiB pages when the last one would be at least a
  // quarter used: its half megabyte or more then costs one page fault
  // instead of hundreds, for at most 1.5 MiB cleared in vain.
  constexpr std::size_t kLargePage = std::size_t{2} << 20;
  if (capacity % kLargePage >= kLargePage / 4) {
    capacity = (capacity + kLargePage - 1) / kLargePage * kLargePage;
  }
  LargeBytes bytes = NewLargeBytes(capacity);
  std::size_t size = 0;
  for (;;) {
    if (size == capacity) {
      // The file grew while it was read.
      if (capacity > kLargest) throw Error(IoErrorText(EFBIG), path);
      LargeBytes larger = NewLargeBytes(capacity * 2);
      std::memcpy(larger.get(), bytes.get(), size);
      bytes = std::move(larger);
      capacity *= 2;
    }
    const std::size_t read = file.ReadSome(bytes.get() + size, capacity - size);
    if (read == 0) break;
    size += read;
  }
  file.Close();
  if (size < std::size(kPatchHeader) ||
      std::memcmp(bytes.get(), kPatchHeader, std::size(kPatchHeader)) != 0) {
    return std::nullopt;
  }
  // Every record must be there whole up to the end marker.
  const std::uint8_t* const b = bytes.get();
  std::size_t at = std::size(kPatchHeader);
  std::size_t count = 0;
  for (;;) {
    if (size - at < 3) throw Error(kReadBeyondEnd, path);
    const std::int32_t offset =
        std::int32_t{b[at]} << 16 | std::int32_t{b[at + 1]} << 8 | b[at + 2];
    if (offset == kEndMarkerOffset) break;
    if (size - at < 5) throw Error(kReadBeyondEnd, path);
    const std::size_t recordSize = std::size_t{b[at + 3]} << 8 | b[at + 4];
    const std::size_t encoded = recordSize == 0 ? 8 : 5 + recordSize;
    if (size - at < encoded) throw Error(kReadBeyondEnd, path);
    at += encoded;
    ++count;
  }
  PatchImage image;
  image.bytes_ = std::move(bytes);
  image.size_ = size;
  image.count_ = count;
  return image;
}

std::vector<std::uint8_t> ExportRecords(const PatchImage& patch, const std::vector<bool>& chosen) {
  std::vector<std::uint8_t> bytes(std::begin(kPatchHeader), std::end(kPatchHeader));
  std::size_t i = 0;
  patch.ForEachRecord([&](const PatchRecord& record) {
    if (chosen.empty() || chosen[i]) {
      const std::span<const std::uint8_t> encoded = patch.Encoded(record);
      bytes.insert(bytes.end(), encoded.begin(), encoded.end());
    }
    ++i;
  });
  bytes.insert(bytes.end(), std::begin(kPatchEnd), std::end(kPatchEnd));
  return bytes;
}

}  // namespace vips
