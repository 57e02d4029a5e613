#include "core/apply/apply.hpp"

#include <optional>

#include "core/apply/record_writer.hpp"
#include "core/ips/reader.hpp"

namespace vips {
namespace {

// Lays the record whose head `reader` has just read into `writer` when it is
// wanted; a data record's bytes are read either way.
void LayRecord(IpsReader& reader, const IpsRecord& record, bool wanted, RecordWriter& writer) {
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

}  // namespace

bool GatherRecords(const std::string& path, const std::vector<bool>& chosen, RecordWriter& writer) {
  std::optional<IpsReader> reader = IpsReader::Open(path);
  if (!reader) return false;
  GatherRecords(*reader, chosen, writer);
  reader->Close();
  return true;
}

void GatherRecords(IpsReader& reader, const std::vector<bool>& chosen, RecordWriter& writer,
                   const RecordSeen& seen) {
  for (std::size_t index = 0;; ++index) {
    IpsRecord record;
    record.offset = reader.ReadOffset();
    if (record.offset == kEndMarkerOffset) break;
    record.size = reader.ReadSize();
    if (seen) seen(index, record.offset);
    if (record.IsRun()) record.run = reader.ReadRunBody();
    LayRecord(reader, record, chosen.empty() || (index < chosen.size() && chosen[index]), writer);
  }
}

}  // namespace vips
