#pragma once

#include <string>
#include <vector>

#include "core/delta/patch_format.hpp"
#include "core/delta/stretches.hpp"
#include "core/files/file_access.hpp"

namespace vips {

class RecordWriter;

// A BPS or UPS patch decoded against an original file: the file it makes,
// and the stretches where that differs from the original, which the table
// lists and Go and apply write as they write an IPS patch's records.
struct DecodedDeltaPatch {
  PatchFormat format = PatchFormat::Unknown;
  std::vector<std::uint8_t> result;
  StretchList stretches;
  // A UPS patch applied backwards: the original was its target.
  bool backwards = false;
};

// The format of the file at `path` by its first bytes (Unknown for a file
// too short to tell); I/O failures throw vips::Error naming it.
[[nodiscard]] PatchFormat PatchFormatOf(const std::string& path);

// Reads the BPS or UPS patch at `patchPath` and `original` whole and decodes
// the one against the other. A refusal throws vips::Error naming the patch
// (its text names the original where the original is the wrong one); a
// failing read of the original names the original.
[[nodiscard]] DecodedDeltaPatch DecodeDeltaPatch(const std::string& patchPath,
                                                 ExistingFile& original);

// Lays into `writer` the stretches of `patch` that `chosen` marks, by their
// place in the list, or all of them when it is empty; with every stretch
// chosen, a result shorter than the original also cuts the file there. A
// stretch past what the writer reaches (address 100FFFD) throws vips::Error,
// laying nothing more.
void GatherStretches(const DecodedDeltaPatch& patch, const std::vector<bool>& chosen,
                     RecordWriter& writer);

}  // namespace vips
