#pragma once

#include <string>

#include "core/table/markers.hpp"

namespace vips {

class IpsReader;
class PatchTable;

enum class LoadResult { Loaded, BadHeader };

// Lists the records of the patch at `patchPath` in `table`, each with the
// execute marker of `language`: row count 1, the header test, the original
// file opened (and nothing else) only after it, one row per record, the row
// count equal to the number of records at the end marker.
// BadHeader leaves the table with one row that keeps its texts. An I/O
// failure throws vips::Error with the table as far as it got (row count one
// more than the completed rows); both files are closed on every path.
LoadResult LoadPatchIntoTable(const std::string& patchPath, const std::string& originalPath,
                              PatchTable& table, Language language);

// The loader's walk from a patch whose header `reader` has read, which is
// left open: the table cut to one row, one row per record, then the row
// count equal to the number of records. A cut patch throws "Read beyond end
// of file" with the table as far as it got.
void ListRecordsInTable(IpsReader& reader, PatchTable& table, Language language);

}  // namespace vips
