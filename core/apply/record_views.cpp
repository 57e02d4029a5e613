#include "core/apply/record_views.hpp"

#include <algorithm>
#include <cstring>
#include <optional>

#include "core/files/replacement_file.hpp"

namespace vips {

bool AppendChosenRecords(const std::string& path, const std::vector<bool>& chosen,
                         ReplacementFile& output) {
  // The records go out in pieces of this size, whatever their number.
  constexpr std::size_t kPiece = std::size_t{1} << 20;
  std::optional<IpsReader> reader = IpsReader::Open(path);
  if (!reader) return false;
  std::vector<std::uint8_t> bytes(std::begin(kPatchHeader), std::end(kPatchHeader));
  bytes.reserve(kPiece + 8);
  const auto put = [&bytes, &output](const std::uint8_t* from, std::size_t count) {
    bytes.insert(bytes.end(), from, from + count);
    if (bytes.size() >= kPiece) {
      output.Append(bytes.data(), bytes.size());
      bytes.clear();
    }
  };
  IpsRecord record;
  for (std::size_t index = 0; reader->ReadRecordHead(record); ++index) {
    if (index < chosen.size() && chosen[index]) {
      std::uint8_t head[8];
      put(head, record.EncodeHead(head));
      reader->ReadData(record.size, put);
    } else {
      reader->SkipData(record.size);
    }
  }
  reader->Close();
  put(kPatchEnd, std::size(kPatchEnd));
  output.Append(bytes.data(), bytes.size());
  return true;
}

bool ReadWhetherHeld(IpsReader& reader, const IpsRecord& record,
                     std::span<const std::uint8_t> fileStart) {
  const bool inFile = record.End() <= fileStart.size();
  if (record.IsRun()) {
    return record.Count() == 0 ||
           (inFile &&
            std::ranges::all_of(fileStart.subspan(record.offset, record.Count()),
                                [&record](std::uint8_t byte) { return byte == record.run.value; }));
  }
  bool held = inFile;
  auto at = static_cast<std::size_t>(record.offset);
  reader.ReadData(record.size, [&](const std::uint8_t* bytes, std::size_t length) {
    held = held && std::memcmp(fileStart.data() + at, bytes, length) == 0;
    at += length;
  });
  return held;
}

}  // namespace vips
