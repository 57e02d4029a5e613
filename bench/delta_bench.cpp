// Benchmarks of BPS patches in memory: a 16 MiB original with 200 scattered
// changes, its linear BPS made once; decoding it and listing the stretches
// it changes (what the window and `list` do once the files are read), and
// making it (what `create --bps` does).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "core/delta/bps_decoder.hpp"
#include "core/delta/bps_maker.hpp"
#include "core/delta/stretches.hpp"
#include "patch_generator.hpp"

namespace {

constexpr std::uint64_t kOriginalBytes = 16 << 20;
constexpr int kChanges = 200;
constexpr std::uint64_t kLongestChange = 2048;
constexpr std::uint64_t kSeed = 20240929;

struct DeltaCase {
  std::vector<std::uint8_t> original;
  std::vector<std::uint8_t> modified;
  std::vector<std::uint8_t> patch;
};

const DeltaCase& TheCase() {
  static const DeltaCase made = [] {
    DeltaCase c;
    c.original = vips::bench::MakeOriginal(kOriginalBytes, kSeed);
    c.modified = c.original;
    vips::bench::SplitMix64 random(kSeed + 1);
    for (int i = 0; i < kChanges; ++i) {
      const std::uint64_t length = 1 + random.Below(kLongestChange);
      const std::uint64_t first = random.Below(kOriginalBytes - length);
      for (std::uint64_t at = first; at < first + length; ++at) {
        c.modified[at] = static_cast<std::uint8_t>(c.original[at] + 1 + random.Below(255));
      }
    }
    c.patch = vips::MakeLinearBps(c.original, c.modified);
    return c;
  }();
  return made;
}

void BM_DecodeBpsAndListStretches(benchmark::State& state) {
  const DeltaCase& c = TheCase();
  std::size_t stretches = 0;
  for (auto _ : state) {
    const std::vector<std::uint8_t> result = vips::DecodeBps(c.patch, c.original, "original");
    stretches = vips::ListStretches(c.original, result).stretches.size();
    benchmark::DoNotOptimize(stretches);
  }
  state.counters["stretches"] = static_cast<double>(stretches);
  state.counters["patch_KiB"] = static_cast<double>(c.patch.size()) / 1024;
  state.SetBytesProcessed(static_cast<std::int64_t>(kOriginalBytes) * state.iterations());
}
BENCHMARK(BM_DecodeBpsAndListStretches)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MakeLinearBps(benchmark::State& state) {
  const DeltaCase& c = TheCase();
  for (auto _ : state) benchmark::DoNotOptimize(vips::MakeLinearBps(c.original, c.modified));
  state.SetBytesProcessed(static_cast<std::int64_t>(kOriginalBytes) * state.iterations());
}
BENCHMARK(BM_MakeLinearBps)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
