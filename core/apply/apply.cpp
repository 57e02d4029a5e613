#include "core/apply/apply.hpp"

#include <optional>

namespace vips {

bool GatherRecords(const std::string& path, const std::vector<bool>& chosen, RecordWriter& writer) {
  std::optional<IpsReader> reader = IpsReader::Open(path);
  if (!reader) return false;
  GatherRecords(
      *reader, writer,
      [&chosen](std::size_t index) {
        return chosen.empty() || (index < chosen.size() && chosen[index]);
      },
      [](std::size_t, std::int32_t) {});
  reader->Close();
  return true;
}

}  // namespace vips
