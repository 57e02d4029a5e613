#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vips {

// Writes into `bytes`, a whole file held in memory, the records of the IPS
// patch at `path` that `chosen` marks, by their place in the patch, or all of
// them when it is empty: records only write and lengthen (zeros between the
// old end and a record past it). With `truncate`, a length the patch gives
// after its end marker (IpsReader::ReadTruncation) then cuts `bytes` to it
// when it is shorter; a longer one is ignored. False, changing nothing, for
// a file whose header is not "PATCH"; a cut patch throws "Read beyond end of
// file" and leaves `bytes` in part written.
bool ApplyRecordsInMemory(const std::string& path, const std::vector<bool>& chosen, bool truncate,
                          std::vector<std::uint8_t>& bytes);

}  // namespace vips
