#pragma once

#include <string>

namespace vips {

class PatchTable;

enum class ApplyResult { Applied, BadHeader };

// Walks the patch at `patchPath` from its header to its end marker and writes
// every record whose row carries an execute marker (either language) into
// the original file in place. Records are paired with rows by position; the
// walk re-counts the rows and rewrites the number and first-address cells,
// reads the markers and leaves the final-address cells alone.
//
// Nothing is written unless the whole patch reads through to its end marker:
// a cut patch throws "Read beyond end of file" and leaves the original file
// exactly as it was. Writes go through a block cache and reach the file at
// the end, block by block, in ascending order.
ApplyResult ApplyMarkedRecords(const std::string& originalPath, const std::string& patchPath,
                               PatchTable& table);

}  // namespace vips
