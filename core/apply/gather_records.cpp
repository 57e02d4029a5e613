#include "core/apply/gather_records.hpp"

#include "core/apply/record_writer.hpp"
#include "core/files/file_access.hpp"
#include "core/ips/reader.hpp"

namespace vips {

bool GatherRecords(const std::string& path, const std::vector<bool>& chosen, RecordWriter& writer) {
  IpsReader reader(ExistingFile::OpenForReading(path));
  if (!reader.ReadHeader()) return false;
  IpsRecord record;
  for (std::size_t index = 0; reader.ReadRecordHead(record); ++index) {
    const bool wanted = chosen.empty() || (index < chosen.size() && chosen[index]);
    const auto position = static_cast<std::uint64_t>(record.offset);
    if (record.IsRun()) {
      if (wanted) writer.Fill(position, record.run.value, record.run.runLength);
    } else if (wanted) {
      std::uint64_t at = position;
      reader.ReadData(record.size, [&writer, &at](const std::uint8_t* bytes, std::size_t length) {
        writer.Write(at, bytes, length);
        at += length;
      });
    } else {
      reader.SkipData(record.size);
    }
  }
  reader.Close();
  return true;
}

}  // namespace vips
