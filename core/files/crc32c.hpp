#pragma once

#include <cstddef>
#include <cstdint>

namespace vips {

// CRC-32C (the Castagnoli polynomial) of `size` bytes, continuing `crc` (0
// to begin). The journal's check: where the processor computes it (SSE 4.2)
// it runs at several times the speed of a table's CRC-32, and elsewhere it
// is computed by table with the same result.
std::uint32_t Crc32c(std::uint32_t crc, const std::uint8_t* bytes, std::size_t size);

// The same by table alone, whatever the processor.
std::uint32_t Crc32cByTable(std::uint32_t crc, const std::uint8_t* bytes, std::size_t size);

}  // namespace vips
