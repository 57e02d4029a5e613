#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/ips/reader.hpp"

namespace vips {

struct MadePatch {
  std::vector<std::uint8_t> bytes;  // the whole patch, header to end marker
  std::size_t records = 0;
};

// The smallest patch of non-overlapping records that turns `original` into
// `modified` when its records are written in order, the file growing as
// writes reach past its end (the bytes between the old end and a write
// read as 0, so zeros past the end need no record, only the last byte does).
//
// Every byte that differs is written; records are data records of up to
// 65,535 bytes, or run records where a run is strictly shorter, and take in
// equal bytes between changes whenever that makes the patch smaller. No
// record starts at 0x454F46, which would read as the end marker: a record
// that would starts one byte earlier. Records past 0xFFFFFF start at
// 0xFFFFFF.
//
// `modified` must be at least as long as `original` and at most
// kPatchableSize bytes; otherwise vips::Error is thrown.
MadePatch MakePatch(std::span<const std::uint8_t> original, std::span<const std::uint8_t> modified);

}  // namespace vips
