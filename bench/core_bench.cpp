// Benchmarks of the core on generated data: applying a large patch, loading
// a million records into the table, and the whole-table row rules.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "core/files/crc32c.hpp"
#include "core/files/file_copy.hpp"
#include "core/table/markers.hpp"
#include "core/table/patch_loader.hpp"
#include "core/table/patch_table.hpp"
#include "form/marked_rows.hpp"
#include "patch_generator.hpp"

namespace {

constexpr int kApplyRecords = 300'000;
constexpr std::uint64_t kApplyOriginalMiB = 16;
constexpr int kTableRecords = 1'000'000;
constexpr std::uint64_t kSeed = 20240611;

// One scratch folder for the whole run, removed at exit.
class Scratch {
 public:
  Scratch() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vips-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~Scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  [[nodiscard]] std::string Folder(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

Scratch& TheScratch() {
  static Scratch scratch;
  return scratch;
}

// The 300,000-record patch and its 16 MiB original, plus a pristine copy to
// reset the working original from.
struct ApplyCase {
  vips::bench::GeneratedCase files;
  std::string pristinePath;
};

const ApplyCase& TheApplyCase() {
  static const ApplyCase applyCase = [] {
    ApplyCase made;
    made.files = vips::bench::WriteCase(TheScratch().Folder("apply"), kApplyOriginalMiB,
                                        kApplyRecords, kSeed);
    made.pristinePath = made.files.originalPath + ".pristine";
    if (!vips::CopyWholeFile(made.files.originalPath, made.pristinePath)) {
      throw std::runtime_error("cannot copy the generated original");
    }
    return made;
  }();
  return applyCase;
}

const vips::bench::GeneratedCase& TheTableCase() {
  static const vips::bench::GeneratedCase tableCase =
      vips::bench::WriteCase(TheScratch().Folder("table"), 0, kTableRecords, kSeed + 1);
  return tableCase;
}

vips::PatchTable LoadedTable(const vips::bench::GeneratedCase& files) {
  vips::PatchTable table;
  if (vips::LoadPatchIntoTable(files.patchPath, files.originalPath, table,
                               vips::Language::English) != vips::LoadResult::Loaded) {
    throw std::runtime_error("the generated patch did not load");
  }
  return table;
}

void ResetOriginal(benchmark::State& state, const ApplyCase& applyCase) {
  state.PauseTiming();
  if (!vips::CopyWholeFile(applyCase.pristinePath, applyCase.files.originalPath)) {
    state.SkipWithError("cannot reset the original");
  }
  state.ResumeTiming();
}

void SetByteCounters(benchmark::State& state, const vips::bench::GeneratedCase& files,
                     int records) {
  state.counters["records/s"] =
      benchmark::Counter(static_cast<double>(records) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
  state.SetBytesProcessed(static_cast<std::int64_t>(files.patchBytes) * state.iterations());
}

// The applier alone, with the table already loaded: every record marked.
void BM_ApplyMarkedRecords(benchmark::State& state) {
  const ApplyCase& applyCase = TheApplyCase();
  vips::PatchTable table = LoadedTable(applyCase.files);
  for (auto _ : state) {
    ResetOriginal(state, applyCase);
    benchmark::DoNotOptimize(vips::form::ApplyMarkedRows(applyCase.files.originalPath,
                                                         applyCase.files.patchPath, table));
  }
  SetByteCounters(state, applyCase.files, kApplyRecords);
}
BENCHMARK(BM_ApplyMarkedRecords)->Unit(benchmark::kMillisecond)->UseRealTime();

// What `velmorant-ips-cli apply` does: load, then apply.
void BM_LoadThenApply(benchmark::State& state) {
  const ApplyCase& applyCase = TheApplyCase();
  for (auto _ : state) {
    ResetOriginal(state, applyCase);
    vips::PatchTable table = LoadedTable(applyCase.files);
    benchmark::DoNotOptimize(vips::form::ApplyMarkedRows(applyCase.files.originalPath,
                                                         applyCase.files.patchPath, table));
  }
  SetByteCounters(state, applyCase.files, kApplyRecords);
}
BENCHMARK(BM_LoadThenApply)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoadPatchIntoTable(benchmark::State& state) {
  const vips::bench::GeneratedCase& files = TheTableCase();
  std::size_t storage = 0;
  int rows = 0;
  for (auto _ : state) {
    vips::PatchTable table = LoadedTable(files);
    storage = table.StorageBytes();
    rows = table.RowCount();
  }
  SetByteCounters(state, files, kTableRecords);
  state.counters["rows"] = rows;
  state.counters["bytes/row"] = rows == 0 ? 0.0 : static_cast<double>(storage) / rows;
}
BENCHMARK(BM_LoadPatchIntoTable)->Unit(benchmark::kMillisecond)->UseRealTime();

// One loaded table of a million rows that the rule benchmarks share.
vips::PatchTable& TheRuleTable() {
  static vips::PatchTable table = LoadedTable(TheTableCase());
  return table;
}

// A whole-table row rule, as "Execute all", "Canceal all" and "Invert" run
// it: one call over all rows.
template <void (*Rule)(vips::PatchTable&, int, int, vips::Language)>
void BM_WholeTableRule(benchmark::State& state) {
  vips::PatchTable& table = TheRuleTable();
  for (auto _ : state) {
    Rule(table, 0, table.RowCount() - 1, vips::Language::English);
    benchmark::ClobberMemory();
  }
  state.counters["rows/s"] = benchmark::Counter(
      static_cast<double>(table.RowCount()) * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate);
}
BENCHMARK(BM_WholeTableRule<vips::ExecuteRows>)
    ->Name("BM_ExecuteRule/all_rows")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeTableRule<vips::CancelRows>)
    ->Name("BM_CancelRule/all_rows")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeTableRule<vips::InvertRows>)
    ->Name("BM_InvertRule/all_rows")
    ->Unit(benchmark::kMillisecond);

}  // namespace

// The journal's check over 1 MiB, as a journal's chunks and long stretches
// take it, and over 512-byte pieces, as the checks of the new bytes do.
static void BM_Crc32c(benchmark::State& state) {
  const auto piece = static_cast<std::size_t>(state.range(0));
  std::vector<std::uint8_t> bytes(std::size_t{1} << 20);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 131);
  std::uint32_t crc = 0;
  for (auto _ : state) {
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
      crc ^= vips::Crc32c(0, bytes.data() + at, piece);
    }
    benchmark::DoNotOptimize(crc);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_Crc32c)->Arg(512)->Arg(std::int64_t{1} << 20);

BENCHMARK_MAIN();
