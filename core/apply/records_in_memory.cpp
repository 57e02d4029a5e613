#include "core/apply/records_in_memory.hpp"

#include <algorithm>
#include <optional>

#include "core/ips/reader.hpp"

namespace vips {

bool ApplyRecordsInMemory(const std::string& path, const std::vector<bool>& chosen, bool truncate,
                          std::vector<std::uint8_t>& bytes) {
  std::optional<IpsReader> reader = IpsReader::Open(path);
  if (!reader) return false;
  IpsRecord record;
  for (std::size_t index = 0; reader->ReadRecordHead(record); ++index) {
    const bool wanted = chosen.empty() || (index < chosen.size() && chosen[index]);
    if (!wanted) {
      reader->SkipData(record.size);
      continue;
    }
    if (record.End() > bytes.size()) bytes.resize(static_cast<std::size_t>(record.End()));
    auto at = bytes.begin() + record.offset;
    if (record.IsRun()) {
      std::fill_n(at, record.run.runLength, record.run.value);
    } else {
      reader->ReadData(record.size, [&at](const std::uint8_t* data, std::size_t length) {
        at = std::copy_n(data, length, at);
      });
    }
  }
  const std::optional<std::uint32_t> length = reader->ReadTruncation();
  reader->Close();
  if (truncate && length && *length < bytes.size()) bytes.resize(*length);
  return true;
}

}  // namespace vips
