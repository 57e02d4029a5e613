// Round trips through the commands: what one command writes, another must
// read back exactly.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.hpp"
#include "ips_bytes.hpp"
#include "support/temp_dir.hpp"

namespace vips::cli {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::IpsBytes;
using testing::ReadAll;
using testing::TempDir;

int Succeeds(const std::vector<std::string>& args, std::string* out = nullptr) {
  std::ostringstream output;
  std::ostringstream errors;
  const int status = RunCli(args, output, errors);
  if (out != nullptr) *out = output.str();
  EXPECT_EQ(status, kExitDone) << args[0] << ": " << errors.str();
  return status;
}

struct PairShape {
  std::size_t size;
  std::size_t growth;
  int changesPerMillion;
  int values;                  // changed bytes take this many values: few give runs
  std::uint32_t forcedChange;  // one more changed byte there (0: none)
};

TEST(RoundTripTest, CreateThenApplyToNewFileGivesTheModifiedFile) {
  const PairShape shapes[] = {{0, 0, 0, 256, 0},
                              {0, 300, 0, 256, 0},
                              {1, 0, 1000000, 256, 0},
                              {5000, 0, 20000, 256, 0},
                              {5000, 0, 300000, 2, 0},
                              {5000, 3000, 1000, 1, 0},
                              {70000, 0, 990000, 256, 0},
                              {200000, 70000, 500, 3, 0},
                              {0x454F60, 0, 2, 256, 0x454F46},
                              {0x454F60, 0, 5, 1, 0x454F46},
                              {0xFFFF00, 0x100FE, 3, 256, 0xFFFFFF},
                              {0x1000000, 0, 1, 256, 0xFFFFFF}};
  std::mt19937 random(11);
  TempDir dir;
  for (const PairShape& shape : shapes) {
    Bytes original(shape.size);
    for (auto& byte : original) byte = static_cast<std::uint8_t>(random());
    Bytes modified = original;
    modified.resize(shape.size + shape.growth);
    for (std::size_t i = 0; i < modified.size(); ++i) {
      if (i >= shape.size || static_cast<int>(random() % 1000000) < shape.changesPerMillion) {
        modified[i] = static_cast<std::uint8_t>(random() % shape.values);
      }
    }
    if (shape.forcedChange != 0) modified[shape.forcedChange] ^= 0x5A;
    const std::string o = dir.Write("o.bin", original);
    const std::string m = dir.Write("m.bin", modified);
    Succeeds({"create", o, m, dir.File("p.ips")});
    Succeeds({"apply", "--output", dir.File("n.bin"), o, dir.File("p.ips")});
    EXPECT_TRUE(ReadAll(dir.File("n.bin")) == modified) << shape.size << "+" << shape.growth;
  }
}

// A patch of `count` records in separate slots of 64 bytes over a file of
// zeros, each changing the first byte of its slot, so that every record is
// pending on the zeros and no two overlap.
std::string SeparateRecords(std::mt19937& random, int count) {
  IpsBytes patch;
  for (int i = 0; i < count; ++i) {
    const auto offset = static_cast<std::uint32_t>(i * 64 + random() % 8);
    const auto length = static_cast<std::uint32_t>(1 + random() % 40);
    const char value = static_cast<char>(1 + random() % 255);
    if (random() % 3 == 0) {
      patch.Run(offset, length, value);
    } else {
      std::string data(length, '\0');
      for (char& byte : data) byte = static_cast<char>(random());
      data[0] = value;
      patch.Data(offset, data);
    }
  }
  return patch.Complete();
}

TEST(RoundTripTest, ChosenRecordsExportApplyAndShowAsApplied) {
  std::mt19937 random(5);
  TempDir dir;
  for (int round = 0; round < 12; ++round) {
    const int count = 1 + static_cast<int>(random() % 30);
    const std::string patch = dir.Write("p.ips", SeparateRecords(random, count));
    std::string list;
    std::vector<bool> chosen(count, false);
    for (int i = 0; i < count; ++i) {
      if (random() % 2 == 0 || (i == count - 1 && list.empty())) {
        list += (list.empty() ? "" : ",") + std::to_string(i + 1);
        chosen[i] = true;
      }
    }
    const std::string zeros(64 * static_cast<std::size_t>(count) + 64, '\0');
    const std::string viaOnly = dir.Write("only.bin", zeros);
    const std::string viaExport = dir.Write("export.bin", zeros);
    Succeeds({"apply", "--only", list, viaOnly, patch});
    Succeeds({"export", "--only", list, patch, dir.File("part.ips")});
    Succeeds({"apply", viaExport, dir.File("part.ips")});
    EXPECT_EQ(ReadAll(viaExport), ReadAll(viaOnly)) << list;

    std::string status;
    Succeeds({"status", viaOnly, patch}, &status);
    std::istringstream lines(status);
    std::string line;
    for (int i = 0; i < count; ++i) {
      ASSERT_TRUE(std::getline(lines, line));
      const bool applied = line.substr(line.rfind('\t') + 1) == "applied";
      EXPECT_EQ(applied, chosen[i]) << "record " << i + 1 << " of list " << list;
    }
  }
}

TEST(RoundTripTest, ExportingEveryRecordGivesThePatchBack) {
  std::mt19937 random(9);
  TempDir dir;
  const std::string whole = SeparateRecords(random, 50);
  const std::string patch = dir.Write("p.ips", whole + "trailing bytes");
  Succeeds({"export", patch, dir.File("all.ips")});
  const Bytes exported = ReadAll(dir.File("all.ips"));
  EXPECT_EQ(std::string(exported.begin(), exported.end()), whole);
}

}  // namespace
}  // namespace vips::cli
