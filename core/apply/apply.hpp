#pragma once

#include <string>
#include <vector>

namespace vips {

class PatchTable;
class RecordWriter;

enum class ApplyResult { Applied, BadHeader };

// Walks the patch at `patchPath` to its end marker and writes every record
// whose row carries an execute marker (either language) into the original
// file in place. Records are paired with rows by position: the walk re-counts
// the rows, rewrites the number and first-address cells, reads the markers
// and leaves the final-address cells alone.
//
// All or nothing: nothing is written unless the whole patch reads through to
// its end marker ("Read beyond end of file"); the disk space for the file's
// final length is taken before the first write ("Disk full" leaves the file
// as it was); a write that fails after that is undone, bytes and length.
// Only the records' bytes change. The original is locked against a second
// apply or recover by this program ("Another run is patching the file"), and
// a patch given as its own original file is refused ("File access denied").
ApplyResult ApplyMarkedRecords(const std::string& originalPath, const std::string& patchPath,
                               PatchTable& table);

// Reads the patch at `path` through to its end marker and lays into `writer`
// the records that `chosen` marks, by their place in the patch, or all of
// them when it is empty. False, laying nothing, for a file whose header is
// not "PATCH"; a cut patch throws "Read beyond end of file", after which the
// writer is not to be used.
bool GatherRecords(const std::string& path, const std::vector<bool>& chosen, RecordWriter& writer);

}  // namespace vips
