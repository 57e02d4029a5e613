#pragma once

#include <string>
#include <vector>

namespace vips {

class RecordWriter;

// Reads the patch at `path` (opened for reading only) through to its end
// marker and lays into `writer` the records that `chosen` marks, by their
// place in the patch, or all of them when it is empty. False, laying
// nothing, for a file whose header is not "PATCH"; a cut patch throws "Read
// beyond end of file", after which the writer is not to be used.
bool GatherRecords(const std::string& path, const std::vector<bool>& chosen, RecordWriter& writer);

}  // namespace vips
