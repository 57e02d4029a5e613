#include "core/record_status.hpp"

#include <algorithm>
#include <cstring>

#include "core/file_bytes.hpp"

namespace vips {

std::vector<bool> HeldRecords(const PatchImage& patch, ExistingFile& file) {
  // Only the bytes the records can reach are read.
  std::uint64_t reach = 0;
  patch.ForEachRecord([&reach](const PatchRecord& record) {
    reach =
        std::max<std::uint64_t>(reach, static_cast<std::uint64_t>(record.offset) + record.Count());
  });
  const std::vector<std::uint8_t> bytes = ReadFileStart(file, reach);

  std::vector<bool> held(patch.RecordCount());
  std::size_t i = 0;
  patch.ForEachRecord([&](const PatchRecord& record) {
    const auto first = static_cast<std::size_t>(record.offset);
    const std::size_t count = record.Count();
    if (count == 0) {
      held[i] = true;
    } else if (first + count > bytes.size()) {
      held[i] = false;
    } else if (record.IsRun()) {
      held[i] = std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(first),
                            bytes.begin() + static_cast<std::ptrdiff_t>(first + count),
                            [&record](std::uint8_t byte) { return byte == record.value; });
    } else {
      held[i] = std::memcmp(bytes.data() + first, patch.DataOf(record), count) == 0;
    }
    ++i;
  });
  return held;
}

}  // namespace vips
