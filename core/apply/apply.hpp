#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vips {

class IpsReader;
class RecordWriter;
// Told of each record as the walk reads its head: its place in the patch and
// its offset, once the offset and the size have been read.
using RecordSeen = std::function<void(std::size_t index, std::int32_t offset)>;

// Reads the patch at `path` through to its end marker and lays into `writer`
// the records that `chosen` marks, by their place in the patch, or all of
// them when it is empty. False, laying nothing, for a file whose header is
// not "PATCH"; a cut patch throws "Read beyond end of file", after which the
// writer is not to be used.
bool GatherRecords(const std::string& path, const std::vector<bool>& chosen, RecordWriter& writer);

// The same from a patch whose header `reader` has read; `seen`, when given,
// is told of every record before its bytes are read. The reader is left open.
void GatherRecords(IpsReader& reader, const std::vector<bool>& chosen, RecordWriter& writer,
                   const RecordSeen& seen = nullptr);

}  // namespace vips
