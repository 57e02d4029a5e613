// A libFuzzer target over loading, applying and listing a patch. Each input
// is a few control bytes and a patch; the results of the loader, the applier
// and the `list` command are checked against a model of the records built
// here from the same bytes, not only for crashes; so is the command line's
// `apply` of every record, with the same failing write step.
//
// Input: byte 0 chooses the markers (bit k marks row k % 8 for execution),
// byte 1 a write step to fail (0: none), bytes 2-3 the original file's length
// (a multiple of 16), the rest the patch file. A BPS or UPS patch goes to
// the delta checks instead (delta_checks.cpp), with bytes 0 and 2-3 as their
// flags and original length.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.hpp"
#include "core/apply/apply.hpp"
#include "core/delta/patch_format.hpp"
#include "core/error.hpp"
#include "core/files/file_access.hpp"
#include "core/table/markers.hpp"
#include "core/table/patch_loader.hpp"
#include "core/table/patch_table.hpp"
#include "form/marked_rows.hpp"
#include "fuzz/delta_checks.hpp"
#include "tests/support/write_fault.hpp"

namespace {

namespace fs = std::filesystem;

// Applying a record far out would write megabytes per input; the loader and
// the listing still see every patch, the applier only those that stay near.
constexpr std::uint64_t kMaxAppliedEnd = 1 << 20;

struct Record {
  std::uint32_t offset;
  std::uint32_t count;  // data size, or run length
  bool run;
  std::string bytes;  // data bytes, or the run's value once
};

// The model: what a patch file says, read by a plain parser of its own.
struct Model {
  bool header = false;
  bool complete = false;  // reached the end marker
  std::vector<Record> records;
};

Model Parse(const std::string& patch) {
  Model model;
  if (patch.size() < 5 || patch.compare(0, 5, "PATCH") != 0) return model;
  model.header = true;
  std::size_t at = 5;
  const auto byte = [&patch](std::size_t i) { return static_cast<std::uint8_t>(patch[i]); };
  for (;;) {
    if (at + 3 > patch.size()) return model;
    const std::uint32_t offset = byte(at) << 16 | byte(at + 1) << 8 | byte(at + 2);
    at += 3;
    if (offset == 0x454F46) {
      model.complete = true;
      return model;
    }
    if (at + 2 > patch.size()) return model;
    const std::uint32_t size = byte(at) << 8 | byte(at + 1);
    at += 2;
    if (size != 0) {
      if (at + size > patch.size()) return model;
      model.records.push_back({offset, size, false, patch.substr(at, size)});
      at += size;
    } else {
      if (at + 3 > patch.size()) return model;
      const std::uint32_t length = byte(at) << 8 | byte(at + 1);
      model.records.push_back({offset, length, true, patch.substr(at + 2, 1)});
      at += 3;
    }
  }
}

// Upper-case hexadecimal without leading zeros; an empty run at offset 0
// ends at -1.
std::string Hex(std::int64_t value) {
  char text[32];
  std::snprintf(text, sizeof text, "%s%llX", value < 0 ? "-" : "",
                static_cast<unsigned long long>(value < 0 ? -value : value));
  return text;
}

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "model mismatch: %s\n", what);
    std::abort();
  }
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A folder of its own for the two files, removed when the fuzzer ends.
class Scratch {
 public:
  Scratch() {
    // In memory where the system has such a folder: every apply flushes the
    // file and its journal, which costs nothing there, and the fuzzer keeps
    // its pace.
    std::error_code error;
    const fs::path base =
        fs::is_directory("/dev/shm", error) ? fs::path("/dev/shm") : fs::temp_directory_path();
    std::string pattern = (base / "vips-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  [[nodiscard]] const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

const std::string& Folder() {
  static const Scratch scratch;
  return scratch.Path();
}

bool Marked(std::uint8_t markers, std::size_t row) {
  return (markers >> (row % 8) & 1) != 0;
}

void CheckListing(const std::string& patchPath, const Model& model) {
  std::ostringstream out;
  std::ostringstream err;
  const int status = vips::cli::RunCli({"list", patchPath}, out, err);
  if (!model.header) {
    Check(status == vips::cli::kExitNotAPatch && out.str().empty(), "list of no patch");
    return;
  }
  std::string expected;
  for (std::size_t i = 0; i < model.records.size(); ++i) {
    const Record& r = model.records[i];
    expected += std::to_string(i + 1) + "\t" + Hex(r.offset) + "\t" +
                Hex(static_cast<std::int64_t>(r.offset) + r.count - 1) + "\t" +
                (r.run ? "run" : "data") + "\t" + std::to_string(r.count) + "\n";
  }
  Check(out.str() == expected, "list lines");
  Check(status == (model.complete ? vips::cli::kExitDone : vips::cli::kExitIoError), "list status");
}

// The command line's `apply` of every record to a copy of the original, the
// `failingStep`th write step failing (0: none): the copy ends whole-old or
// whole-new, and "Nothing changed" is said exactly when the records leave it
// as it was.
void CheckCommandLineApply(const std::string& patchPath, const Model& model,
                           const std::string& original, int failingStep) {
  std::string expected = original;
  for (const Record& r : model.records) {
    if (r.count == 0) continue;
    if (static_cast<std::uint64_t>(r.offset) + r.count > kMaxAppliedEnd) return;
    if (expected.size() < r.offset + r.count) expected.resize(r.offset + r.count, '\0');
    for (std::uint32_t i = 0; i < r.count; ++i) {
      expected[r.offset + i] = r.run ? r.bytes[0] : r.bytes[i];
    }
  }
  const std::string copyPath = Folder() + "/c.bin";
  WriteFile(copyPath, original);
  std::ostringstream out;
  std::ostringstream err;
  vips::write_fault::FailNthStep(failingStep);
  const int status = vips::cli::RunCli({"apply", copyPath, patchPath}, out, err);
  vips::write_fault::FailNthStep(0);
  const std::string now = ReadFile(copyPath);
  if (!model.header || !model.complete) {
    Check(status == (model.header ? vips::cli::kExitIoError : vips::cli::kExitNotAPatch),
          "command line apply of a cut patch or no patch");
    Check(now == original, "command line apply of a cut patch or no patch wrote");
  } else if (status == vips::cli::kExitDone) {
    Check(now == expected, "command line applied bytes");
    Check((err.str().find("Nothing changed") != std::string::npos) == (expected == original),
          "command line 'Nothing changed'");
  } else {
    Check(status == vips::cli::kExitIoError && failingStep != 0, "command line apply error");
    Check(now == original, "a failed command line apply changed the file");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const std::span<const std::uint8_t> patchBytes(data + 4, size - 4);
  const vips::PatchFormat format = vips::SniffPatchFormat(patchBytes);
  if (format == vips::PatchFormat::Bps || format == vips::PatchFormat::Ups) {
    vips::fuzz::CheckDeltaPatch(data[0], static_cast<std::uint16_t>(data[2] << 8 | data[3]),
                                patchBytes);
    return 0;
  }
  const std::uint8_t markers = data[0];
  const int failingStep = data[1];
  const std::size_t originalLength = (static_cast<std::size_t>(data[2]) << 8 | data[3]) % 4096 * 16;
  const std::string patch(reinterpret_cast<const char*>(data) + 4, size - 4);
  const Model model = Parse(patch);

  const std::string patchPath = Folder() + "/p.ips";
  const std::string originalPath = Folder() + "/o.bin";
  WriteFile(patchPath, patch);
  std::string original(originalLength, '\0');
  for (std::size_t i = 0; i < originalLength; ++i) original[i] = static_cast<char>(i * 7 + 3);
  WriteFile(originalPath, original);

  CheckListing(patchPath, model);
  CheckCommandLineApply(patchPath, model, original, failingStep);

  vips::PatchTable table;
  vips::LoadResult loaded = vips::LoadResult::BadHeader;
  try {
    loaded = vips::LoadPatchIntoTable(patchPath, originalPath, table, vips::Language::English);
  } catch (const vips::Error& error) {
    Check(model.header && !model.complete, "load failed on a whole patch");
    Check(std::string(error.what()) == vips::kReadBeyondEnd, "load error text");
    return 0;
  }
  Check((loaded == vips::LoadResult::Loaded) == model.header, "load result");
  if (!model.header) return 0;
  Check(model.complete, "load of a cut patch succeeded");
  Check(table.RowCount() == static_cast<int>(model.records.size()), "row count");
  std::uint64_t end = 0;
  std::string expected = original;
  for (std::size_t row = 0; row < model.records.size(); ++row) {
    const Record& r = model.records[row];
    const int at = static_cast<int>(row);
    Check(table.Cell(0, at) == std::to_string(row + 1), "number cell");
    Check(table.Cell(1, at) == Hex(r.offset), "first address cell");
    Check(table.Cell(2, at) == Hex(static_cast<std::int64_t>(r.offset) + r.count - 1),
          "final address cell");
    if (!Marked(markers, row)) {
      table.SetCell(vips::PatchTable::kMarkerColumn, at, vips::kSkipEnglish);
      continue;
    }
    if (r.count == 0) continue;
    end = std::max<std::uint64_t>(end, r.offset + r.count);
    if (end > kMaxAppliedEnd) continue;
    if (expected.size() < r.offset + r.count) expected.resize(r.offset + r.count, '\0');
    for (std::uint32_t i = 0; i < r.count; ++i) {
      expected[r.offset + i] = r.run ? r.bytes[0] : r.bytes[i];
    }
  }
  if (end > kMaxAppliedEnd) return 0;

  vips::write_fault::FailNthStep(failingStep);
  std::optional<std::string> error;
  try {
    Check(vips::form::ApplyMarkedRows(originalPath, patchPath, table) ==
              vips::form::ApplyResult::Applied,
          "apply result");
  } catch (const vips::Error& e) {
    error = e.what();
  }
  const int steps = vips::write_fault::StepsTaken();
  vips::write_fault::FailNthStep(0);
  const std::string now = ReadFile(originalPath);
  if (error) {
    Check(*error == vips::kDiskFull && failingStep != 0 && failingStep <= steps, "apply error");
    Check(now == original, "a failed apply changed the file");
  } else {
    Check(now == expected, "applied bytes");
  }
  return 0;
}
