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

PatchedStart PatchFileStart(const std::vector<PatchImage>& patches,
                            const std::vector<bool>& firstChosen, ExistingFile& file) {
  std::uint64_t end = 0;
  ForEachWrittenRecord(patches, firstChosen, [&end](const PatchImage&, const PatchRecord& record) {
    if (record.Count() > 0) {
      end =
          std::max<std::uint64_t>(end, static_cast<std::uint64_t>(record.offset) + record.Count());
    }
  });
  const std::vector<std::uint8_t> before = ReadFileStart(file, end);
  PatchedStart result;
  result.bytes = before;
  result.bytes.resize(end, 0);
  std::uint8_t* const bytes = result.bytes.data();
  ForEachWrittenRecord(patches, firstChosen,
                       [bytes](const PatchImage& patch, const PatchRecord& record) {
                         if (record.Count() == 0) return;
                         std::uint8_t* target = bytes + record.offset;
                         if (record.IsRun()) {
                           std::memset(target, record.value, record.runLength);
                         } else {
                           std::memcpy(target, patch.DataOf(record), record.size);
                         }
                       });
  // The last record to write a byte decides it, so the bytes are compared
  // once all are written; bytes past the end of the file lengthen it.
  result.changed =
      before.size() < end || (end > 0 && std::memcmp(before.data(), bytes, before.size()) != 0);
  return result;
}

BlockCache CacheRecords(const std::vector<PatchImage>& patches,
                        const std::vector<bool>& firstChosen) {
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
  return cache;
}

bool WriteAllOrNothing(BlockCache& records, ExistingFile& file) {
  if (records.Empty()) return false;
  const std::uint64_t length = file.Length();
  file.Reserve(std::max(length, records.End()));
  const bool wrote = records.Flush(file, length);
  return wrote || records.End() > length;
}

void WriteRecordsAllOrNothing(const std::vector<PatchImage>& patches,
                              const std::vector<bool>& firstChosen, ExistingFile& file) {
  BlockCache cache = CacheRecords(patches, firstChosen);
  WriteAllOrNothing(cache, file);
}

}  // namespace vips
