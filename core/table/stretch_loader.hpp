#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/delta/patch_format.hpp"
#include "core/delta/stretches.hpp"
#include "core/table/markers.hpp"

namespace vips {

class PatchTable;

// Whether the file at `path` begins as a BPS or UPS patch; false for any
// other file and for one that cannot be read (the IPS reader then reports
// why when it opens it).
[[nodiscard]] bool BeginsAsDeltaPatch(const std::string& path) noexcept;

// What listing a BPS or UPS patch found besides its rows.
struct DeltaListing {
  PatchFormat format = PatchFormat::Unknown;
  // The result's length when it is shorter than the original: applying
  // every row also cuts the file to it.
  std::optional<std::uint64_t> shortensTo;
  // A UPS patch listed backwards: the original file is the one it makes.
  bool backwards = false;
};

// Lists the BPS or UPS patch at `patchPath`, decoded against the original
// file at `originalPath` (opened the way the applier will), in `table`: one
// row per stretch, as an IPS record's row (number, first and final address,
// the execute marker of `language`); the row count is the number of
// stretches. It starts with row count 1; a refusal (a wrong original, a
// damaged patch) or an I/O failure throws vips::Error and leaves it so, the
// row keeping its texts.
DeltaListing LoadDeltaPatchIntoTable(const std::string& patchPath, const std::string& originalPath,
                                     PatchTable& table, Language language);

// Rewrites the number and address cells of `stretches`' rows, row k for
// stretch k, and sets the row count to their number; markers are left alone.
void ShowStretchRows(const StretchList& stretches, PatchTable& table);

}  // namespace vips
