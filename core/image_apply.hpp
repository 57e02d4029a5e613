#pragma once

#include <vector>

#include "core/block_cache.hpp"
#include "core/file_access.hpp"
#include "core/patch_image.hpp"

namespace vips {

// The records that one run of the command line writes: those of the first
// patch that `firstChosen` marks (all of them when it is empty), then every
// record of each later patch, in order, each over the ones before.

// The start of `file` as the records make it: its bytes up to the last one a
// record writes (zeros past its end), with the records written over them.
struct PatchedStart {
  std::vector<std::uint8_t> bytes;
  // True when the records change a byte of the file or lengthen it.
  bool changed = false;
};
[[nodiscard]] PatchedStart PatchFileStart(const std::vector<PatchImage>& patches,
                                          const std::vector<bool>& firstChosen, ExistingFile& file);

// Writes them into `file` as the applier writes one patch: all or nothing,
// the room for the final length taken before the first byte is written and
// a write that fails undone. Only the records' bytes change.
void WriteRecordsAllOrNothing(const std::vector<PatchImage>& patches,
                              const std::vector<bool>& firstChosen, ExistingFile& file);

// The same in two steps, so that the bytes can be compared with the file's
// (BlockCache::Changes) before anything is written: the records in a cache,
// then the cache written into `file` in the same way. True when the records
// changed the file (a byte, or its length).
[[nodiscard]] BlockCache CacheRecords(const std::vector<PatchImage>& patches,
                                      const std::vector<bool>& firstChosen);
bool WriteAllOrNothing(BlockCache& records, ExistingFile& file);

}  // namespace vips
