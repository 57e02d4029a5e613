#pragma once

#include <vector>

#include "core/file_access.hpp"
#include "core/patch_image.hpp"

namespace vips {

// The records that one run of the command line writes: those of the first
// patch that `firstChosen` marks (all of them when it is empty), then every
// record of each later patch, in order, each over the ones before.

// True when writing them would change a byte of `file` or lengthen it.
[[nodiscard]] bool RecordsChangeFile(const std::vector<PatchImage>& patches,
                                     const std::vector<bool>& firstChosen, ExistingFile& file);

// Writes them into `file` as the applier writes one patch: all or nothing,
// the room for the final length taken before the first byte is written and
// a write that fails undone. Only the records' bytes change.
void WriteRecordsAllOrNothing(const std::vector<PatchImage>& patches,
                              const std::vector<bool>& firstChosen, ExistingFile& file);

}  // namespace vips
