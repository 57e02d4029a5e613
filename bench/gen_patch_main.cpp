// vips-gen-patch --original-mib S --records N [--full-size F] --seed K OUTDIR
// Writes OUTDIR/original.bin and OUTDIR/patch.ips; the same arguments give
// the same bytes everywhere. F of the N records (4 unless given) are 65535
// bytes long.
#include <cstdint>
#include <exception>
#include <iostream>
#include <string>
#include <string_view>

#include "patch_generator.hpp"

namespace {

constexpr const char* kUsage =
    "usage: vips-gen-patch --original-mib S --records N [--full-size F] --seed K OUTDIR\n";

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t originalMiB = 16;
  std::uint64_t records = 0;
  std::uint64_t seed = 1;
  std::uint64_t fullSize = 4;
  bool haveRecords = false;
  std::string outDir;
  for (int i = 1; i < argc; ++i) {
    const std::string_view word = argv[i];
    std::uint64_t* target = nullptr;
    if (word == "--original-mib") target = &originalMiB;
    if (word == "--records") target = &records, haveRecords = true;
    if (word == "--seed") target = &seed;
    if (word == "--full-size") target = &fullSize;
    if (target != nullptr) {
      if (i + 1 >= argc || !vips::bench::ParseWhole(argv[i + 1], *target)) {
        std::cerr << "vips-gen-patch: " << word << " needs a whole number\n" << kUsage;
        return 64;
      }
      ++i;
    } else if (word == "--help") {
      std::cout << kUsage;
      return 0;
    } else if (outDir.empty() && !word.starts_with("-")) {
      outDir = word;
    } else {
      std::cerr << "vips-gen-patch: unexpected '" << word << "'\n" << kUsage;
      return 64;
    }
  }
  if (outDir.empty() || !haveRecords || records > 0x7FFFFFFF || fullSize > 0x7FFFFFFF ||
      originalMiB > 4096) {
    std::cerr << kUsage;
    return 64;
  }
  try {
    const auto written = vips::bench::WriteCase(outDir, originalMiB, static_cast<int>(records),
                                                seed, static_cast<int>(fullSize));
    std::cout << written.originalPath << '\t' << written.originalBytes << '\n'
              << written.patchPath << '\t' << written.patchBytes << '\n';
  } catch (const std::exception& error) {
    std::cerr << "vips-gen-patch: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
