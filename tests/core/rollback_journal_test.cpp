// The rollback journal: one that fits the file as its run left it puts the
// file back exactly, whatever name or device the file has now; one cut short
// or finished goes unplayed; one that does not fit, or anything else at its
// name, is refused and stays, the file untouched.
#include "core/files/rollback_journal.hpp"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

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
using Kind = RollbackJournal::Finding::Kind;

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
constexpr std::uint64_t kNewLength = 400'009;

// The file as the write leaves it: '#' over every span, zeros between the old
// end and the last span.
std::string Written(const std::string& old) {
  std::string bytes = old;
  bytes.resize(kNewLength);
  for (const auto& [position, size] : kSpans) bytes.replace(position, size, size, '#');
  return bytes;
}

const std::uint8_t* Bytes(const std::string& text) {
  return reinterpret_cast<const std::uint8_t*>(text.data());
}

// Journals the write of `path`, then writes the first `pieces` 4 KiB pages
// of what it changes (all of it for -1), as a run killed there leaves the
// file; returns the journal's path.
std::string JournalAndWrite(const std::string& path, int pieces = -1) {
  const std::string old = ReadText(path);
  const std::string after = Written(old);
  ExistingFile file = ExistingFile::Open(path);
  file.LockForWriting();
  RollbackJournal::Write write;
  write.newLength = kNewLength;
  write.stretches = [&](const RollbackJournal::StretchVisitor& visit) {
    for (const auto& [position, size] : kSpans) {
      if (position < old.size()) {
        visit(position, Bytes(old) + position, Bytes(after) + position,
              std::min<std::uint64_t>(size, old.size() - position));
      }
    }
  };
  write.growth = [&](const RollbackJournal::GrowthVisitor& visit) {
    visit(old.size(), Bytes(after) + old.size(), kNewLength - old.size());
  };
  RollbackJournal journal = RollbackJournal::Begin(file, write, true);
  file.SetLength(kNewLength);
  std::string before = old;
  before.resize(kNewLength);
  for (std::uint64_t at = 0; at < kNewLength && pieces != 0; at += 4096) {
    const std::uint64_t size = std::min<std::uint64_t>(4096, kNewLength - at);
    if (before.compare(at, size, after, at, size) == 0) continue;
    file.WriteAt(at, after.data() + at, size);
    --pieces;
  }
  file.Close();
  return RollbackJournal::PathFor(path);
}

// What the next run that opens the file for writing finds and does.
Kind NextRun(const std::string& path, std::string* refusal = nullptr) {
  ExistingFile file = ExistingFile::Open(path);
  file.LockForWriting();
  const RollbackJournal::Finding finding = RollbackJournal::Examine(file);
  if (refusal) *refusal = finding.refusal;
  try {
    (void)RollbackJournal::RollBackInterrupted(file, finding);
  } catch (const JournalRefused& refused) {
    EXPECT_EQ(finding.kind, Kind::Refused);
    EXPECT_EQ(refused.JournalPath(), finding.journalPath);
  }
  file.Close();
  return finding.kind;
}

TEST(RollbackJournalTest, AJournalThatFitsPutsTheFileBackExactlyWhereverItIsNow) {
  struct Case {
    const char* what;
    int pages;
    // Moves the file and its journal as a user may; the file's new path.
    std::string (*move)(const std::string& folder, const std::string& path);
  };
  const auto stay = [](const std::string&, const std::string& path) { return path; };
  const std::vector<Case> cases = {
      {"killed before its first write", 0, stay},
      {"killed half-way", 9, stay},
      {"killed after its last write", -1, stay},
      {"the folder copied elsewhere (another file number)", 9,
       [](const std::string& folder, const std::string&) {
         fs::copy(testing::PathOf(folder + "/a"), testing::PathOf(folder + "/copy"));
         fs::remove_all(testing::PathOf(folder + "/a"));
         return folder + "/copy/o.bin";
       }},
#ifndef _WIN32
      {"reached through a link", 9,
       [](const std::string& folder, const std::string& path) {
         fs::create_symlink(path, folder + "/link");
         return folder + "/link";
       }},
      {"reached through another name (a hard link)", 9,
       [](const std::string& folder, const std::string& path) {
         fs::create_hard_link(path, folder + "/a/other.bin");
         return folder + "/a/other.bin";
       }},
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    fs::create_directory(testing::PathOf(dir.Path() + "/a"));
    const std::string old = Old();
    const std::string path = dir.Write("a/o.bin", old);
    (void)JournalAndWrite(path, c.pages);
    const std::string now = c.move(dir.Path(), path);
    EXPECT_EQ(NextRun(now), Kind::Fits);
    EXPECT_EQ(ReadText(now), old);
    EXPECT_FALSE(RollbackJournal::JournalStandsBeside(now));
    EXPECT_EQ(NextRun(now), Kind::None);
  }
}

// Builds a journal of the current format by hand, as a crafted one would be:
// its own checks right, its claims whatever the case needs.
std::string CraftedJournal(std::uint64_t oldLength, std::uint64_t newLength) {
  std::string bytes = "VIPS-JOURNAL-v3\n";
  for (const std::uint64_t length : {oldLength, newLength}) {
    for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<char>(length >> (8 * i)));
  }
  const auto put32 = [&bytes](std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>(value >> (8 * i)));
  };
  put32(Crc32c(0, Bytes(bytes), bytes.size()));
  // Checks of the room past the old end that no bytes match, and no entries.
  if (newLength > oldLength) bytes.append(4 * ((newLength - 1) / 512 - oldLength / 512 + 1), '\0');
  bytes += "VIPS-JOURNAL-END";
  bytes.append(8, '\0');
  put32(Crc32c(0, Bytes(bytes), bytes.size()));
  return bytes;
}

TEST(RollbackJournalTest, AJournalThatDoesNotFitIsRefusedAndStaysTheFileUntouched) {
  struct Case {
    const char* what;
    void (*spoil)(const std::string& journal, const std::string& file);
  };
  const std::vector<Case> cases = {
      {"another file put under the name",
       [](const std::string&, const std::string& f) {
         WriteFile(f + ".new", std::string(6000, 'x'));
         fs::rename(testing::PathOf(f + ".new"), testing::PathOf(f));
       }},
      {"a byte edited inside a stretch",
       [](const std::string&, const std::string& f) {
         std::string bytes = ReadText(f);
         bytes[70'100] = '!';
         WriteFile(f, bytes);
       }},
      {"the file made shorter",
       [](const std::string&, const std::string& f) { fs::resize_file(testing::PathOf(f), 1000); }},
      {"crafted: a terabyte long",
       [](const std::string& j, const std::string&) {
         WriteFile(j, CraftedJournal(std::uint64_t{1} << 40, std::uint64_t{1} << 40));
       }},
      {"crafted: empty before the write",
       [](const std::string& j, const std::string&) {
         WriteFile(j, CraftedJournal(0, kNewLength));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string path = dir.Write("o.bin", Old());
    const std::string journal = JournalAndWrite(path, 9);
    c.spoil(journal, path);
    const std::string before = ReadText(path);
    const std::string kept = ReadText(journal);
    std::string refusal;
    EXPECT_EQ(NextRun(path, &refusal), Kind::Refused);
    EXPECT_NE(refusal.find(".o.bin.vips-journal"), std::string::npos) << refusal;
    EXPECT_NE(refusal.find("does not fit"), std::string::npos) << refusal;
    EXPECT_EQ(ReadText(path), before);
    EXPECT_EQ(ReadText(journal), kept);
  }
}

TEST(RollbackJournalTest, AJournalCutShortOrFinishedGoesUnplayedAndAnEditOutsideItIsKept) {
  struct Case {
    const char* what;
    void (*spoil)(const std::string& journal, const std::string& file);
    Kind found;
  };
  const std::vector<Case> cases = {
      {"cut in its mark", [](const std::string& j, const std::string&) { fs::resize_file(j, 7); },
       Kind::Unfinished},
      {"cut in an entry", [](const std::string& j, const std::string&) { fs::resize_file(j, 200); },
       Kind::Unfinished},
      {"without its last byte",
       [](const std::string& j, const std::string&) { fs::resize_file(j, fs::file_size(j) - 1); },
       Kind::Unfinished},
      {"a byte changed",
       [](const std::string& j, const std::string&) {
         std::string bytes = ReadText(j);
         bytes[bytes.size() / 2] ^= 1;
         WriteFile(j, bytes);
       },
       Kind::Unfinished},
      {"marked finished",
       [](const std::string& j, const std::string&) {
         std::string bytes = ReadText(j);
         bytes.replace(0, 16, "VIPS-JOURNAL-OK\n");
         WriteFile(j, bytes);
       },
       Kind::Unfinished},
      {"whole, the file edited where the write did not reach",
       [](const std::string&, const std::string& f) {
         std::string bytes = ReadText(f);
         bytes[50'000] = '!';
         WriteFile(f, bytes);
       },
       Kind::Fits},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string path = dir.Write("o.bin", Old());
    const std::string journal = JournalAndWrite(path, 9);
    c.spoil(journal, path);
    std::string expected = ReadText(path);
    if (c.found == Kind::Fits) {
      expected = Old();
      expected[50'000] = '!';
    }
    EXPECT_EQ(NextRun(path), c.found);
    EXPECT_EQ(ReadText(path), expected);
    EXPECT_FALSE(Exists(journal));
  }
}

// A journal of the previous format, as an interrupted run of an earlier
// version left it: the file's device and number, its length, one entry.
std::string PreviousFormatJournal(const FileIdentity& identity, std::uint64_t length,
                                  std::uint64_t position, const std::string& old) {
  std::string bytes = "VIPS-JOURNAL-v2\n";
  const auto put = [&bytes](std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i) bytes.push_back(static_cast<char>(value >> (8 * i)));
  };
  const auto number = [&bytes](std::uint64_t value) {
    for (; value >= 0x80; value >>= 7) bytes.push_back(static_cast<char>(value | 0x80));
    bytes.push_back(static_cast<char>(value));
  };
  put(identity.device, 8);
  put(identity.index, 8);
  put(length, 8);
  put(Crc32c(0, Bytes(bytes), bytes.size()), 4);
  number(position << 1);
  number(old.size());
  bytes += old;
  bytes += "VIPS-JOURNAL-END";
  put(1, 8);
  put(Crc32c(0, Bytes(bytes), bytes.size()), 4);
  return bytes;
}

TEST(RollbackJournalTest, AJournalOfThePreviousFormatIsPlayedByItsOwnRuleOrRefused) {
  struct Case {
    const char* what;
    bool sameNumbers;
    std::uint64_t length;  // the file's, as the journal records it
    Kind found;
  };
  const std::vector<Case> cases = {
      {"the file's numbers and length", true, 300'000, Kind::Fits},
      {"another file's numbers", false, 300'000, Kind::Refused},
      {"a length the file does not have", true, 299'000, Kind::Refused},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string old = Old();
    std::string scribbled = old;
    scribbled.replace(1000, 5, "#####");
    const std::string path = dir.Write("o.bin", scribbled);
    FileIdentity identity = *IdentityOf(path);
    if (!c.sameNumbers) ++identity.index;
    WriteFile(RollbackJournal::PathFor(path),
              PreviousFormatJournal(identity, c.length, 1000, old.substr(1000, 5)));
    EXPECT_EQ(NextRun(path), c.found);
    EXPECT_EQ(ReadText(path), c.found == Kind::Fits ? old : scribbled);
  }
}

TEST(RollbackJournalTest, SomethingElseAtTheJournalsNameIsRefusedNamingItAndKept) {
  struct Case {
    const char* what;
    void (*make)(const std::string& journal);
  };
  const std::vector<Case> cases = {
      {"a folder", [](const std::string& j) { fs::create_directory(testing::PathOf(j)); }},
      {"a file of another program", [](const std::string& j) { WriteFile(j, "notes\n"); }},
#ifndef _WIN32
      {"a pipe", [](const std::string& j) { ASSERT_EQ(::mkfifo(j.c_str(), 0600), 0); }},
      {"a link to a device", [](const std::string& j) { fs::create_symlink("/dev/zero", j); }},
      {"a dangling link", [](const std::string& j) { fs::create_symlink(j + ".gone", j); }},
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string path = dir.Write("o.bin", Old());
    const std::string journal = RollbackJournal::PathFor(path);
    c.make(journal);
    std::string refusal;
    EXPECT_EQ(NextRun(path, &refusal), Kind::Refused);
    EXPECT_NE(refusal.find("is not a journal of this program"), std::string::npos) << refusal;
    EXPECT_EQ(ReadText(path), Old());
    EXPECT_TRUE(RollbackJournal::JournalStandsBeside(path));
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
  RollbackJournal::Write write;
  write.newLength = old.size();
  write.stretches = [&old](const RollbackJournal::StretchVisitor& visit) {
    visit(0, Bytes(old), Bytes(old), 10);
  };
  for (int step = 1;; ++step) {
    SCOPED_TRACE(step);
    ExistingFile file = ExistingFile::Open(path);
    file.LockForWriting();
    write_fault::FailNthStep(step);
    try {
      RollbackJournal journal = RollbackJournal::Begin(file, write, true);
      journal.Finish();
      write_fault::FailNthStep(0);
      file.Close();
      // A finished journal that could not be removed goes, unplayed, with the next run.
      const Kind next = NextRun(path);
      EXPECT_TRUE(next == Kind::None || next == Kind::Unfinished);
      EXPECT_EQ(testing::NamesIn(dir.Path()).size(), 1u);
      if (next == Kind::None) break;
      continue;
    } catch (const Error&) {
      write_fault::FailNthStep(0);
    }
    file.Close();
    EXPECT_EQ(ReadText(path), old);
    // Whatever a failed begin or finish left, the next run keeps the file as
    // it is.
    (void)NextRun(path);
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
  // Long lengths go in three lanes, with any rest after them.
  std::vector<std::uint8_t> bytes(3 * 3 * 4096 + 300);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 131 + 7);
  for (std::size_t length = 0; length <= bytes.size(); length += length < 300 ? 13 : 4093) {
    const std::size_t split = length / 3;
    EXPECT_EQ(Crc32c(Crc32c(0, bytes.data(), split), bytes.data() + split, length - split),
              Crc32cByTable(0, bytes.data(), length))
        << length;
  }
}

}  // namespace
}  // namespace vips
