// vips-patch-coverage PATCH LENGTH
// What an IPS patch's records cover of a file of LENGTH bytes: the bytes of
// the union of their ranges [offset, offset + count), cut at LENGTH, and the
// 4 KiB pages of the file those ranges touch. Prints two lines,
//   covered-bytes N
//   touched-pages N
// for scripts/bytes-written.sh, which sets the bytes an apply writes
// against them.
#include <algorithm>
#include <cstdint>
#include <exception>
#include <iostream>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "core/ips/reader.hpp"
#include "patch_generator.hpp"

namespace {

constexpr const char* kUsage = "usage: vips-patch-coverage PATCH LENGTH\n";
constexpr std::uint64_t kPage = 4096;

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t length = 0;
  if (argc != 3 || !vips::bench::ParseWhole(argv[2], length)) {
    std::cerr << kUsage;
    return 64;
  }
  try {
    std::optional<vips::IpsReader> reader = vips::IpsReader::Open(argv[1]);
    if (!reader) {
      std::cerr << "vips-patch-coverage: " << argv[1] << " is not an IPS patch\n";
      return 1;
    }
    // Each record's range inside the file; a run or data record of no
    // bytes covers nothing.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;
    for (vips::IpsRecord record; reader->ReadRecordHead(record);) {
      reader->SkipData(record.size);
      const std::uint64_t begin = static_cast<std::uint64_t>(record.offset);
      const std::uint64_t end = std::min(record.End(), length);
      if (begin < end) ranges.emplace_back(begin, end);
    }
    reader->Close();
    std::sort(ranges.begin(), ranges.end());

    // Walk the ranges in order, merging overlaps; a page is counted once
    // even when two separate ranges touch it.
    std::uint64_t covered = 0;
    std::uint64_t pages = 0;
    std::uint64_t coveredTo = 0;  // one past the last byte counted
    std::uint64_t pagesTo = 0;    // one past the last page counted
    for (const auto& [begin, end] : ranges) {
      if (end > coveredTo) {
        covered += end - std::max(begin, coveredTo);
        coveredTo = end;
      }
      const std::uint64_t firstPage = std::max(begin / kPage, pagesTo);
      const std::uint64_t endPage = (end + kPage - 1) / kPage;
      if (endPage > firstPage) {
        pages += endPage - firstPage;
        pagesTo = endPage;
      }
    }
    std::cout << "covered-bytes " << covered << '\n' << "touched-pages " << pages << '\n';
  } catch (const std::exception& error) {
    std::cerr << "vips-patch-coverage: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
