// A libFuzzer target over reading, listing and gathering a patch, all in
// memory: no file is written or read. Each input is a few control bytes and
// a patch; what the reader reads, what the loader lists in the table, and
// what Go's walk gathers for the rows marked there are checked against a
// model of the records built here from the same bytes, not only for crashes.
//
// Input: byte 0 chooses the markers (bit k marks row k % 8 for execution),
// byte 1 the room the gathering writer has for records waiting to be laid
// (0: all it takes; else that many times 8 KiB, so that records are laid as
// they come), bytes 2-3 are for the delta checks, the rest the patch. A BPS
// or UPS patch goes to the delta checks instead (delta_checks.cpp), with
// bytes 0 and 2-3 as their flags and original length.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/apply/record_writer.hpp"
#include "core/delta/patch_format.hpp"
#include "core/error.hpp"
#include "core/files/file_access.hpp"
#include "core/ips/reader.hpp"
#include "core/table/markers.hpp"
#include "core/table/patch_loader.hpp"
#include "core/table/patch_table.hpp"
#include "form/marked_rows.hpp"
#include "fuzz/delta_checks.hpp"

namespace {

// The gathered bytes are compared as one image from address 0: a record far
// out would make it megabytes per input. Past this only the image's end is.
constexpr std::uint64_t kMaxImageEnd = 1 << 20;

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

bool Marked(std::uint8_t markers, std::size_t row) {
  return (markers >> (row % 8) & 1) != 0;
}

// The reader's records, data bytes and all, and its end.
void CheckReader(std::span<const std::uint8_t> patch, const Model& model) {
  std::optional<vips::IpsReader> reader = vips::IpsReader::Open(patch, "patch");
  Check(reader.has_value() == model.header, "header");
  if (!reader) return;
  std::size_t index = 0;
  try {
    for (vips::IpsRecord record; reader->ReadRecordHead(record); ++index) {
      std::string bytes;
      if (record.IsRun()) bytes.push_back(static_cast<char>(record.run.value));
      reader->ReadData(record.size, [&bytes](const std::uint8_t* data, std::size_t length) {
        bytes.append(reinterpret_cast<const char*>(data), length);
      });
      Check(index < model.records.size(), "more records than the model");
      const Record& r = model.records[index];
      Check(static_cast<std::uint32_t>(record.offset) == r.offset && record.Count() == r.count &&
                record.IsRun() == r.run && bytes == r.bytes,
            "record");
    }
  } catch (const vips::Error& error) {
    Check(!model.complete && index == model.records.size(), "read failed on a whole patch");
    Check(std::string(error.what()) == vips::kReadBeyondEnd && error.Path() == "patch",
          "read error");
    return;
  }
  Check(model.complete && index == model.records.size(), "end marker");
}

// Rows numbered from 1 with the records' first and final addresses.
void CheckRows(const vips::PatchTable& table, const Model& model, const char* what) {
  Check(table.RowCount() == static_cast<int>(model.records.size()), what);
  for (std::size_t row = 0; row < model.records.size(); ++row) {
    const Record& r = model.records[row];
    const int at = static_cast<int>(row);
    Check(table.Cell(0, at) == std::to_string(row + 1), "number cell");
    Check(table.Cell(1, at) == Hex(r.offset), "first address cell");
    Check(table.Cell(2, at) == Hex(static_cast<std::int64_t>(r.offset) + r.count - 1),
          "final address cell");
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
  const std::size_t listBytes =
      data[1] == 0 ? vips::RecordWriter::kArenaBytes : std::size_t{data[1]} * 8192;
  const Model model = Parse(std::string(reinterpret_cast<const char*>(data) + 4, size - 4));

  CheckReader(patchBytes, model);
  if (!model.header) return 0;

  // The loader's listing, from the same bytes.
  vips::PatchTable table;
  std::optional<vips::IpsReader> reader = vips::IpsReader::Open(patchBytes, "patch");
  Check(reader.has_value(), "header of the loader's reader");
  try {
    vips::ListRecordsInTable(*reader, table, vips::Language::English);
    Check(model.complete, "load of a cut patch succeeded");
  } catch (const vips::Error& error) {
    Check(!model.complete, "load failed on a whole patch");
    Check(std::string(error.what()) == vips::kReadBeyondEnd, "load error text");
    // The table holds the complete records, the row being read, and the one
    // after it once that record's head was whole.
    const auto rows = static_cast<std::size_t>(table.RowCount());
    Check(rows == model.records.size() + 1 || rows == model.records.size() + 2,
          "rows of a cut load");
    return 0;
  }
  CheckRows(table, model, "row count");

  // Go's walk over the rows that the markers leave marked: the rows are
  // counted again and the chosen records gathered, later ones over earlier.
  std::uint64_t end = 0;
  std::string expected;
  for (std::size_t row = 0; row < model.records.size(); ++row) {
    const Record& r = model.records[row];
    if (!Marked(markers, row)) {
      table.SetCell(vips::PatchTable::kMarkerColumn, static_cast<int>(row), vips::kSkipEnglish);
      continue;
    }
    if (r.count == 0) continue;
    end = std::max<std::uint64_t>(end, r.offset + r.count);
    if (end > kMaxImageEnd) continue;
    if (expected.size() < r.offset + r.count) expected.resize(r.offset + r.count, '\0');
    for (std::uint32_t i = 0; i < r.count; ++i) {
      expected[r.offset + i] = r.run ? r.bytes[0] : r.bytes[i];
    }
  }
  vips::RecordWriter records(listBytes);
  reader = vips::IpsReader::Open(patchBytes, "patch");
  vips::form::GatherMarkedRows(*reader, table, records);
  CheckRows(table, model, "row count after Go's walk");
  Check(records.End() == end, "gathered end");
  if (end > kMaxImageEnd) return 0;
  // Every gathered byte from address 0, zeros where no record writes.
  std::string image;
  records.ForEachGrowth(0, [&image](std::uint64_t at, const std::uint8_t* bytes, std::size_t n) {
    Check(at == image.size(), "gathered pieces in order");
    image.append(reinterpret_cast<const char*>(bytes), n);
  });
  Check(image == expected, "gathered bytes");
  return 0;
}
