#pragma once

#include <string>
#include <vector>

namespace vips {

class ReplacementFile;

// Appends to `output` a patch holding exactly the records of the patch at
// `path` (opened for reading only) that `chosen` marks, by their place, in
// their order, each byte for byte as the patch holds it, between the header
// and the end marker. False, appending nothing, for a file whose header is
// not "PATCH"; a cut patch throws "Read beyond end of file".
bool AppendChosenRecords(const std::string& path, const std::vector<bool>& chosen,
                         ReplacementFile& output);

}  // namespace vips
