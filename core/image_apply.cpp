#include "core/image_apply.hpp"

#include <algorithm>
#include <cstring>

#include "core/block_cache.hpp"
#include "core/file_bytes.hpp"

namespace vips {
namespace {

// Calls `write(patch, record)` for each record that is written, in order.
template <typename Write>
void ForEachWrittenRecord(const std::vector<PatchImage>& patches,
                          const std::vector<bool>& firstChosen, Write&& write) {
  for (std::size_t p = 0; p < patches.size(); ++p) {
    const std::vector<PatchRecord>& records = patches[p].Records();
    for (std::size_t i = 0; i < records.size(); ++i) {
      if (p == 0 && !firstChosen.empty() && !firstChosen[i]) continue;
      write(patches[p], records[i]);
    }
  }
}

}  // namespace

bool RecordsChangeFile(const std::vector<PatchImage>& patches, const std::vector<bool>& firstChosen,
                       ExistingFile& file) {
  std::uint64_t end = 0;
  ForEachWrittenRecord(patches, firstChosen, [&end](const PatchImage&, const PatchRecord& record) {
    if (record.Count() > 0) {
      end =
          std::max<std::uint64_t>(end, static_cast<std::uint64_t>(record.offset) + record.Count());
    }
  });
  if (end > file.Length()) return true;
  // The records go over a copy of the bytes they reach; the file is changed
  // when the copy ends up different.
  const std::vector<std::uint8_t> before = ReadFileStart(file, end);
  if (before.size() < end) return true;
  std::vector<std::uint8_t> after = before;
  ForEachWrittenRecord(patches, firstChosen,
                       [&after](const PatchImage& patch, const PatchRecord& record) {
                         std::uint8_t* target = after.data() + record.offset;
                         if (record.IsRun()) {
                           std::memset(target, record.value, record.runLength);
                         } else {
                           std::memcpy(target, patch.DataOf(record), record.size);
                         }
                       });
  return after != before;
}

void WriteRecordsAllOrNothing(const std::vector<PatchImage>& patches,
                              const std::vector<bool>& firstChosen, ExistingFile& file) {
  BlockCache cache;
  ForEachWrittenRecord(patches, firstChosen,
                       [&cache](const PatchImage& patch, const PatchRecord& record) {
                         const auto position = static_cast<std::uint64_t>(record.offset);
                         if (record.IsRun()) {
                           cache.Fill(position, record.value, record.runLength);
                         } else {
                           cache.Write(position, patch.DataOf(record), record.size);
                         }
                       });
  if (cache.Empty()) return;
  const std::uint64_t length = file.Length();
  file.Reserve(std::max(length, cache.End()));
  cache.Flush(file, length);
}

}  // namespace vips
