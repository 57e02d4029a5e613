#include "core/apply/export_records.hpp"

#include <cstdint>

#include "core/files/file_access.hpp"
#include "core/files/replacement_file.hpp"
#include "core/ips/reader.hpp"

namespace vips {
namespace {

// The records go out in pieces of this size, whatever their number.
constexpr std::size_t kPiece = std::size_t{1} << 20;

}  // namespace

bool AppendChosenRecords(const std::string& path, const std::vector<bool>& chosen,
                         ReplacementFile& output) {
  IpsReader reader(ExistingFile::OpenForReading(path));
  if (!reader.ReadHeader()) return false;
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
  for (std::size_t index = 0; reader.ReadRecordHead(record); ++index) {
    const bool wanted = index < chosen.size() && chosen[index];
    if (!wanted) {
      if (!record.IsRun()) reader.SkipData(record.size);
      continue;
    }
    const std::uint8_t head[] = {static_cast<std::uint8_t>(record.offset >> 16),
                                 static_cast<std::uint8_t>(record.offset >> 8),
                                 static_cast<std::uint8_t>(record.offset),
                                 static_cast<std::uint8_t>(record.size >> 8),
                                 static_cast<std::uint8_t>(record.size),
                                 static_cast<std::uint8_t>(record.run.runLength >> 8),
                                 static_cast<std::uint8_t>(record.run.runLength),
                                 record.run.value};
    put(head, record.IsRun() ? 8 : 5);
    if (!record.IsRun()) reader.ReadData(record.size, put);
  }
  reader.Close();
  put(kPatchEnd, std::size(kPatchEnd));
  output.Append(bytes.data(), bytes.size());
  return true;
}

}  // namespace vips
