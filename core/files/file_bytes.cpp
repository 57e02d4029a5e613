#include "core/files/file_bytes.hpp"

#include <algorithm>

namespace vips {

std::vector<std::uint8_t> ReadFileStart(ExistingFile& file, std::uint64_t limit) {
  constexpr std::uint64_t kPiece = 4 * 1024 * 1024;
  // The file's length says how many bytes there are: a read that ends before
  // it is an error, never a shorter file.
  const std::uint64_t end = std::min(limit, file.Length());
  std::vector<std::uint8_t> bytes;
  while (bytes.size() < end) {
    const std::size_t have = bytes.size();
    const auto wanted = static_cast<std::size_t>(std::min(kPiece, end - have));
    bytes.resize(have + wanted);
    file.ReadAllAt(have, bytes.data() + have, wanted);
  }
  return bytes;
}

}  // namespace vips
