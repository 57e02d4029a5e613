// Benchmarks of the command line's file commands on generated data: create
// for 16 MiB files with scattered changes, apply --output next to an apply
// in place and a plain copy, and status of a million records.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/commands.hpp"
#include "core/files/file_copy.hpp"
#include "core/ips/maker.hpp"
#include "patch_generator.hpp"

namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;
constexpr std::uint64_t kSeed = 20240611;

class Scratch {
 public:
  Scratch() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "vips-cli-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~Scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  [[nodiscard]] std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

Scratch& TheScratch() {
  static Scratch scratch;
  return scratch;
}

void Run(benchmark::State& state, const std::vector<std::string>& args) {
  std::ostringstream out;
  std::ostringstream err;
  if (vips::cli::RunCli(args, out, err) != vips::cli::kExitDone)
    state.SkipWithError(err.str().c_str());
  benchmark::DoNotOptimize(out.str().size());
}

// The size of the simplest maker's patch: one data record for each stretch
// of differing bytes (split at 65,535), for comparison.
std::uint64_t StretchPatchBytes(const std::vector<std::uint8_t>& a,
                                const std::vector<std::uint8_t>& b) {
  std::uint64_t bytes = 8;
  for (std::size_t i = 0; i < b.size();) {
    if (a[i] == b[i]) {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < b.size() && a[end] != b[end] && end - i < 0xFFFF) ++end;
    bytes += 5 + (end - i);
    i = end;
  }
  return bytes;
}

// create: a 16 MiB original and a copy with `range(0)` changed bytes at
// scattered places.
void BM_Create(benchmark::State& state) {
  const auto changes = static_cast<std::uint64_t>(state.range(0));
  const std::vector<std::uint8_t> original = vips::bench::MakeOriginal(16 * kMiB, kSeed);
  std::vector<std::uint8_t> modified = original;
  vips::bench::SplitMix64 random(kSeed + changes);
  for (std::uint64_t done = 0; done < changes;) {
    const std::uint64_t at = random.Below(modified.size());
    if (modified[at] != original[at]) continue;
    modified[at] ^= static_cast<std::uint8_t>(1 + random.Below(255));
    ++done;
  }
  const std::string o = TheScratch().File("create-original.bin");
  const std::string m = TheScratch().File("create-modified.bin");
  const std::string p = TheScratch().File("create.ips");
  vips::bench::WriteBytes(o, original);
  vips::bench::WriteBytes(m, modified);
  for (auto _ : state) Run(state, {"create", o, m, p});

  const vips::MadePatch made = vips::MakePatch(original, modified);
  state.counters["patch_bytes"] = static_cast<double>(std::filesystem::file_size(p));
  state.counters["records"] = static_cast<double>(made.records);
  state.counters["stretch_bytes"] = static_cast<double>(StretchPatchBytes(original, modified));
}
BENCHMARK(BM_Create)->Arg(10'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();

const vips::bench::GeneratedCase& TheApplyCase() {
  static const vips::bench::GeneratedCase files =
      vips::bench::WriteCase(TheScratch().File("apply"), 16, 300'000, kSeed);
  return files;
}

void BM_ApplyToNewFile(benchmark::State& state) {
  const auto& files = TheApplyCase();
  const std::string output = TheScratch().File("apply-output.bin");
  for (auto _ : state)
    Run(state, {"apply", "--output", output, files.originalPath, files.patchPath});
}
BENCHMARK(BM_ApplyToNewFile)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ApplyInPlace(benchmark::State& state) {
  const auto& files = TheApplyCase();
  const std::string target = TheScratch().File("apply-in-place.bin");
  for (auto _ : state) {
    state.PauseTiming();
    if (!vips::CopyWholeFile(files.originalPath, target)) state.SkipWithError("cannot reset");
    state.ResumeTiming();
    Run(state, {"apply", target, files.patchPath});
  }
}
BENCHMARK(BM_ApplyInPlace)->Unit(benchmark::kMillisecond)->UseRealTime();

// The floor for apply --output: the 16 MiB copy alone (all or nothing, as
// the backup is taken).
void BM_Copy16MiB(benchmark::State& state) {
  const auto& files = TheApplyCase();
  const std::string target = TheScratch().File("copy.bin");
  for (auto _ : state) {
    if (!vips::CopyWholeFile(files.originalPath, target)) state.SkipWithError("copy failed");
  }
}
BENCHMARK(BM_Copy16MiB)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Status(benchmark::State& state) {
  static const vips::bench::GeneratedCase files =
      vips::bench::WriteCase(TheScratch().File("status"), 16, 1'000'000, kSeed + 1);
  for (auto _ : state) Run(state, {"status", files.originalPath, files.patchPath});
  state.counters["records/s"] = benchmark::Counter(1e6 * static_cast<double>(state.iterations()),
                                                   benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Status)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
