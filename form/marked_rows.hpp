#pragma once

#include <string>

#include "form/core.hpp"

namespace vips::form {

// AlreadyApplied: a UPS patch now decodes the other way than it was listed,
// so the file already holds what the listed rows make; nothing is written.
enum class ApplyResult { Applied, BadHeader, AlreadyApplied };

// Go's write: the records that the table chooses are gathered from the patch
// at `patchPath` and written into the original file in place, the same way
// as the command line's apply. A BPS or UPS patch (told by its first bytes)
// is decoded again against the file as it is now, its stretches chosen and
// shown as records are; with every row chosen the file becomes exactly the
// patched file, a shorter one cutting it, and a refusal (a wrong original,
// a damaged patch) throws with nothing written and the table as it was. Records are paired with
// rows by position: the walk re-counts the rows, rewrites the number and first-address cells, reads
// the markers and leaves the final-address cells alone.
//
// All or nothing: nothing is written unless the whole patch reads through to
// its end marker ("Read beyond end of file"); the disk space for the file's
// final length is taken before the first write ("Disk full" leaves the file
// as it was); a write that fails after that is undone, bytes and length.
// Only the records' bytes change. The original is locked against a second
// apply or recover by this program ("Another run is patching the file"), and
// a patch given as its own original file is refused ("File access denied").
// `locked`, when given, is the original file already open and locked by the
// caller, used in place of opening it. `listedBackwards`: the listing
// decoded a UPS patch backwards.
ApplyResult ApplyMarkedRows(const std::string& originalPath, const std::string& patchPath,
                            PatchTable& table, ExistingFile* locked = nullptr,
                            bool listedBackwards = false);

// Go's walk, writing nothing: lays into `records` the records of the patch
// whose header `reader` has read that the table's markers choose, re-counting
// the rows as above. A cut patch throws "Read beyond end of file", after
// which `records` is not to be used.
void GatherMarkedRows(IpsReader& reader, PatchTable& table, RecordWriter& records);

}  // namespace vips::form
