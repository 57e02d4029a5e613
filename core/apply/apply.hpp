#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/apply/record_writer.hpp"
#include "core/ips/reader.hpp"

namespace vips {

// Reads the patch at `path` through to its end marker and lays into `writer`
// the records that `chosen` marks, by their place in the patch, or all of
// them when it is empty. False, laying nothing, for a file whose header is
// not "PATCH"; a cut patch throws "Read beyond end of file", after which the
// writer is not to be used.
bool GatherRecords(const std::string& path, const std::vector<bool>& chosen, RecordWriter& writer);

// Lays the record whose head `reader` has just read into `writer` when it is
// wanted; a data record's bytes are read either way.
inline void LayRecord(IpsReader& reader, const IpsRecord& record, bool wanted,
                      RecordWriter& writer) {
  auto at = static_cast<std::uint64_t>(record.offset);
  if (record.IsRun()) {
    if (wanted) writer.Fill(at, record.run.value, record.run.runLength);
  } else if (wanted) {
    reader.ReadData(record.size, [&writer, &at](const std::uint8_t* bytes, std::size_t length) {
      writer.Write(at, bytes, length);
      at += length;
    });
  } else {
    reader.SkipData(record.size);
  }
}

// The same walk from a patch whose header `reader` has read, which is left
// open: `wanted(index)` chooses the record at `index` (its place in the
// patch), and `seen(index, offset)` is told of each record once its offset
// and size have been read, before the rest of it.
template <typename Wanted, typename Seen>
void GatherRecords(IpsReader& reader, RecordWriter& writer, Wanted&& wanted, Seen&& seen) {
  for (std::size_t index = 0;; ++index) {
    IpsRecord record;
    record.offset = reader.ReadOffset();
    if (record.offset == kEndMarkerOffset) break;
    record.size = reader.ReadSize();
    seen(index, record.offset);
    if (record.IsRun()) record.run = reader.ReadRunBody();
    LayRecord(reader, record, wanted(index), writer);
  }
}

}  // namespace vips
