#include "core/apply/record_status.hpp"

#include <algorithm>
#include <cstring>

namespace vips {

bool ReadWhetherHeld(IpsReader& reader, const IpsRecord& record,
                     std::span<const std::uint8_t> fileStart) {
  const auto first = static_cast<std::size_t>(record.offset);
  const bool inFile = record.End() <= fileStart.size();
  if (record.IsRun()) {
    return record.Count() == 0 ||
           (inFile &&
            std::all_of(fileStart.begin() + static_cast<std::ptrdiff_t>(first),
                        fileStart.begin() + static_cast<std::ptrdiff_t>(record.End()),
                        [&record](std::uint8_t byte) { return byte == record.run.value; }));
  }
  bool held = inFile;
  std::size_t at = first;
  reader.ReadData(record.size, [&](const std::uint8_t* bytes, std::size_t length) {
    held = held && std::memcmp(fileStart.data() + at, bytes, length) == 0;
    at += length;
  });
  return held;
}

}  // namespace vips
