#include "core/files/file_bytes.hpp"

#include <algorithm>

namespace vips {

std::vector<std::uint8_t> ReadFileStart(ExistingFile& file, std::uint64_t limit) {
  constexpr std::uint64_t kPiece = 4 * 1024 * 1024;
  std::vector<std::uint8_t> bytes;
  while (bytes.size() < limit) {
    const std::size_t have = bytes.size();
    const auto wanted = static_cast<std::size_t>(std::min(kPiece, limit - have));
    bytes.resize(have + wanted);
    const std::size_t read = file.ReadAt(have, bytes.data() + have, wanted);
    bytes.resize(have + read);
    if (read < wanted) break;
  }
  return bytes;
}

}  // namespace vips
