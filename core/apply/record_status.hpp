#pragma once

#include <cstdint>
#include <span>

#include "core/ips/reader.hpp"

namespace vips {

// Whether a file already holds the record whose head `reader` has just read:
// every byte the record writes has that value in `fileStart`, the file's
// first bytes (all of them, or at least as far as the record reaches). A
// record that reaches past the end of the file is not held; one that writes
// no byte (a run of length 0) is. A data record's bytes are read from
// `reader`.
[[nodiscard]] bool ReadWhetherHeld(IpsReader& reader, const IpsRecord& record,
                                   std::span<const std::uint8_t> fileStart);

}  // namespace vips
