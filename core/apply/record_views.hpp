#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/ips/reader.hpp"

namespace vips {

class ReplacementFile;

// Appends to `output` a patch holding exactly the records of the patch at
// `path` that `chosen` marks, by their place, in their order, each byte for
// byte as the patch holds it, between the header and the end marker. False,
// appending nothing, for a file whose header is not "PATCH"; a cut patch
// throws "Read beyond end of file".
bool AppendChosenRecords(const std::string& path, const std::vector<bool>& chosen,
                         ReplacementFile& output);

// Whether a file already holds the record whose head `reader` has just read:
// every byte the record writes has that value in `fileStart`, the file's
// first bytes (at least as far as the record reaches). A record that reaches
// past the end of the file is not held; one that writes no byte (a run of
// length 0) is. A data record's bytes are read from `reader`.
[[nodiscard]] bool ReadWhetherHeld(IpsReader& reader, const IpsRecord& record,
                                   std::span<const std::uint8_t> fileStart);

}  // namespace vips
