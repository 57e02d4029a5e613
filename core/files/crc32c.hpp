#pragma once

#include <cstddef>
#include <cstdint>

namespace vips {

// CRC-32C (the Castagnoli polynomial) of `size` bytes, continuing `crc` (0
// to begin): the journal's check, as the processor computes it (SSE 4.2) at
// several times a table's speed, or by table elsewhere.
std::uint32_t Crc32c(std::uint32_t crc, const std::uint8_t* bytes, std::size_t size);

// The same by table alone, whatever the processor.
std::uint32_t Crc32cByTable(std::uint32_t crc, const std::uint8_t* bytes, std::size_t size);

}  // namespace vips
