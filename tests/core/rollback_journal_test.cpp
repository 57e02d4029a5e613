// The rollback journal: a whole journal puts the file back exactly, one that
// is cut, changed or of another file is never played back, and none stays
// after its write is finished.
#include "core/files/rollback_journal.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/error.hpp"
#include "core/files/crc32c.hpp"
#include "core/files/file_access.hpp"
#include "support/temp_dir.hpp"
#include "tests/support/write_fault.hpp"

namespace vips {
namespace {

namespace fs = std::filesystem;
using testing::Exists;
using testing::ReadText;
using testing::TempDir;

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(testing::PathOf(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Old() {
  std::string old(300'000, '\0');
  for (std::size_t i = 0; i < old.size(); ++i) old[i] = static_cast<char>('a' + i % 26);
  return old;
}

// The stretches one write changes: scattered, adjacent, overlapping, one
// across the old end, one wholly past it.
const std::vector<std::pair<std::uint64_t, std::uint64_t>> kSpans = {
    {5, 3}, {8, 4}, {70'000, 65'536}, {100, 10}, {104, 2}, {299'990, 40}, {400'000, 9}};

// Journals the spans of `path`, then writes over them and lengthens it, as
// a run killed after its writes would leave it; returns the path.
std::string JournalAndScribble(const std::string& path) {
  ExistingFile file = ExistingFile::Open(path);
  file.LockForWriting();
  const std::uint64_t length = file.Length();
  // What the file holds, with room for the stretches past its end.
  std::string before = ReadText(path);
  before.resize(500'000);
  RollbackJournal journal = RollbackJournal::Begin(
      file, length,
      [&before](const RollbackJournal::OldBytesVisitor& visit) {
        for (const auto& [position, size] : kSpans) {
          visit(position, reinterpret_cast<const std::uint8_t*>(before.data()) + position, size);
        }
      },
      true);
  for (const auto& [position, size] : kSpans) {
    file.WriteAt(position, std::string(size, '#').data(), size);
  }
  file.Close();
  return RollbackJournal::PathFor(path);
}

// Whether the next run that opens the file for writing plays a journal back.
bool NextRunPlaysBack(const std::string& path) {
  ExistingFile file = ExistingFile::Open(path);
  file.LockForWriting();
  const bool played = RollbackJournal::RollBackInterrupted(file);
  file.Close();
  return played;
}

TEST(RollbackJournalTest, AWholeJournalPutsTheFileBackExactly) {
  TempDir dir;
  const std::string old = Old();
  const std::string path = dir.Write("o.bin", old);
  const std::string journal = JournalAndScribble(path);
  EXPECT_EQ(fs::path(journal).filename().string(), ".o.bin.vips-journal");
  ASSERT_NE(ReadText(path), old);
  EXPECT_TRUE(NextRunPlaysBack(path));
  EXPECT_EQ(ReadText(path), old);
  EXPECT_FALSE(Exists(journal));
  EXPECT_FALSE(NextRunPlaysBack(path));
}

TEST(RollbackJournalTest, AJournalCutChangedOrOfAnotherFileIsNeverPlayedBack) {
  const std::string old = Old();
  struct Case {
    const char* name;
    void (*spoil)(const std::string& journal, const std::string& file);
  };
  const std::vector<Case> cases = {
      {"cut in its header",
       [](const std::string& j, const std::string&) { fs::resize_file(j, 20); }},
      {"cut in an entry",
       [](const std::string& j, const std::string&) { fs::resize_file(j, 200); }},
      {"without its last byte",
       [](const std::string& j, const std::string&) { fs::resize_file(j, fs::file_size(j) - 1); }},
      {"a byte changed",
       [](const std::string& j, const std::string&) {
         std::string bytes = ReadText(j);
         bytes[bytes.size() / 2] ^= 1;
         fs::remove(j);
         WriteFile(j, bytes);
       }},
      {"of a file since replaced",
       [](const std::string&, const std::string& f) {
         // Another program writes a new file and renames it over the path.
         WriteFile(f + ".new", ReadText(f));
         fs::rename(f + ".new", f);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.Write("o.bin", old);
    const std::string journal = JournalAndScribble(path);
    const std::string scribbled = ReadText(path);
    c.spoil(journal, path);
    EXPECT_FALSE(NextRunPlaysBack(path));
    EXPECT_EQ(ReadText(path), scribbled);
    EXPECT_FALSE(Exists(journal));
  }
}

TEST(RollbackJournalTest, AFinishedWriteLeavesNoJournalAndAFailedBeginLeavesTheFileAlone) {
  TempDir dir;
  const std::string old = Old();
#ifdef _WIN32
  // Windows limits whole paths outside its long-path form.
  const std::string path = dir.Write(std::string(120, 'n'), old);
#else
  const std::string path = dir.Write(std::string(250, 'n'), old);
#endif
  for (int step = 1;; ++step) {
    SCOPED_TRACE(step);
    ExistingFile file = ExistingFile::Open(path);
    file.LockForWriting();
    write_fault::FailNthStep(step);
    try {
      RollbackJournal journal = RollbackJournal::Begin(
          file, old.size(),
          [&old](const RollbackJournal::OldBytesVisitor& visit) {
            visit(0, reinterpret_cast<const std::uint8_t*>(old.data()), 10);
          },
          true);
      journal.Finish();
      write_fault::FailNthStep(0);
      EXPECT_EQ(testing::NamesIn(dir.Path()).size(), 1u);
      break;
    } catch (const Error&) {
      write_fault::FailNthStep(0);
    }
    file.Close();
    EXPECT_EQ(ReadText(path), old);
    // Whatever a failed begin or finish left, the next run keeps the file as
    // it is.
    (void)NextRunPlaysBack(path);
    EXPECT_EQ(ReadText(path), old);
    EXPECT_EQ(testing::NamesIn(dir.Path()).size(), 1u);
    ASSERT_LT(step, 50);
  }
}

// The journal's check: the known values, and the processor's result equal
// to the table's over every length and any split of the bytes.
TEST(RollbackJournalTest, TheCheckIsCrc32cByProcessorOrTable) {
  const auto* digits = reinterpret_cast<const std::uint8_t*>("123456789");
  EXPECT_EQ(Crc32c(0, digits, 9), 0xE3069283u);
  EXPECT_EQ(Crc32cByTable(0, digits, 9), 0xE3069283u);
  EXPECT_EQ(Crc32c(Crc32c(0, digits, 4), digits + 4, 5), 0xE3069283u);
  std::vector<std::uint8_t> bytes(300);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 131 + 7);
  for (std::size_t length = 0; length <= bytes.size(); length += 13) {
    const std::size_t split = length / 3;
    EXPECT_EQ(Crc32c(Crc32c(0, bytes.data(), split), bytes.data() + split, length - split),
              Crc32cByTable(0, bytes.data(), length))
        << length;
  }
}

}  // namespace
}  // namespace vips
