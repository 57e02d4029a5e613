#include "core/files/file_access.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <exception>
#include <string>
#include <vector>

#include "core/error.hpp"
#include "support/temp_dir.hpp"
#include "tests/support/write_fault.hpp"

namespace vips {
namespace {

using testing::Exists;
using testing::OpenDescriptorCount;
using testing::ReadAll;
using testing::TempDir;

std::string OpenErrorOf(const std::string& path) {
  try {
    ExistingFile file = ExistingFile::Open(path);
  } catch (const Error& error) {
    return error.what();
  }
  return "(opened)";
}

TEST(ExistingFileTest, OpenFailuresGiveTheirTexts) {
  TempDir dir;
  const std::string plain = dir.Write("plain.bin", "abc");
  const std::string readOnly = dir.Write("read-only.bin", "abc");
  ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
  const std::string pipe = dir.Pipe("pipe");
  struct Case {
    std::string path;
    std::string text;
  };
  const Case cases[] = {
      {"", kFileNotFound},
      {dir.File("missing.bin"), kFileNotFound},
      {dir.File("no-folder/missing.bin"), kInvalidFilename},
      {plain + "/inside", kInvalidFilename},  // a file used as a folder
      {readOnly, kFileAccessDenied},
      {dir.Path(), kFileAccessDenied},
      {pipe, kFileAccessDenied},  // a read from it would wait forever
      {plain + std::string("\0", 1) + "other", kInvalidFilename},
#ifdef _WIN32
      {dir.File("\xff\xfe.bin"), kInvalidFilename},  // no UTF-8: no wide name to give the system
      {dir.File("a<b>.bin"), kInvalidFilename},      // characters no Windows name may hold
#endif
  };
  const int before = OpenDescriptorCount();
  for (const Case& c : cases) EXPECT_EQ(OpenErrorOf(c.path), c.text) << "'" << c.path << "'";
  EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST(ExistingFileTest, OpenNeverCreatesNorTruncates) {
  TempDir dir;
  const std::string path = dir.Write("keep.bin", "contents");
  { ExistingFile file = ExistingFile::Open(path); }
  EXPECT_EQ(ReadAll(path), std::vector<std::uint8_t>({'c', 'o', 'n', 't', 'e', 'n', 't', 's'}));
  EXPECT_EQ(OpenErrorOf(dir.File("new.bin")), kFileNotFound);
  EXPECT_FALSE(Exists(dir.File("new.bin")));
}

TEST(ExistingFileTest, TooManyOpenFiles) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no per-process limit on open handles to lower";
#else
  TempDir dir;
  const std::string path = dir.Write("f.bin", "x");
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  // The lowest free descriptor becomes the limit, so the next open has none.
  const int lowestFree = ::dup(0);
  ASSERT_GE(lowestFree, 0);
  ::close(lowestFree);
  rlimit tight = saved;
  tight.rlim_cur = static_cast<rlim_t>(lowestFree);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
  // The error is looked at only once the limit is back: the sanitizers'
  // own checks need descriptors too.
  std::exception_ptr failure;
  try {
    ExistingFile file = ExistingFile::Open(path);
  } catch (...) {
    failure = std::current_exception();
  }
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
  ASSERT_TRUE(failure) << "opened with no descriptor left";
  try {
    std::rethrow_exception(failure);
  } catch (const Error& error) {
    EXPECT_EQ(std::string(error.what()), kTooManyOpenFiles);
  }
#endif
}

TEST(ExistingFileTest, ReadsAndWritesByPosition) {
  TempDir dir;
  const std::string path = dir.Write("rw.bin", "0123456789");
  ExistingFile file = ExistingFile::Open(path);
  char buffer[16] = {};
  ASSERT_EQ(file.ReadAt(8, buffer, 16), 2u);
  EXPECT_EQ(std::string(buffer, 2), "89");
  ASSERT_EQ(file.ReadAt(4, buffer, 2), 2u);
  EXPECT_EQ(std::string(buffer, 2), "45");
  EXPECT_EQ(file.ReadAt(10, buffer, 4), 0u);

  file.WriteAt(2, "ab", 2);
  file.WriteAt(12, "yz", 2);  // past the end: the file grows to the last byte
  file.Close();
  EXPECT_FALSE(file.IsOpen());
  file.Close();  // a second close does nothing
  const std::vector<std::uint8_t> bytes = ReadAll(path);
  const std::vector<std::uint8_t> expected = {'0', '1', 'a', 'b', '4', '5', '6',
                                              '7', '8', '9', 0,   0,   'y', 'z'};
  EXPECT_EQ(bytes, expected);
}

TEST(ExistingFileTest, MovingHandsOverTheOneDescriptor) {
  TempDir dir;
  const std::string first = dir.Write("a.bin", "a");
  const std::string second = dir.Write("b.bin", "b");
  const int before = OpenDescriptorCount();
  {
    ExistingFile a = ExistingFile::Open(first);
    ExistingFile moved(std::move(a));
    EXPECT_FALSE(a.IsOpen());  // NOLINT(bugprone-use-after-move): checking the moved-from state
    EXPECT_TRUE(moved.IsOpen());
    ExistingFile b = ExistingFile::Open(second);
    moved = std::move(b);  // closes a.bin's descriptor
    EXPECT_EQ(OpenDescriptorCount(), before + 1);
    char c = 0;
    ASSERT_EQ(moved.ReadAt(0, &c, 1), 1u);
    EXPECT_EQ(c, 'b');
  }
  EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST(ExistingFileTest, DevicesAreRefusedAndAFullDiskIsDiskFullWithThePath) {
#ifdef _WIN32
  const std::vector<const char*> devices = {"NUL"};
#else
  const std::vector<const char*> devices = {"/dev/full", "/dev/null", "/dev/zero"};
#endif
  for (const char* device : devices) {
    try {
      (void)ExistingFile::Open(device);
      FAIL() << device << " was taken for a file";
    } catch (const Error& error) {
      EXPECT_EQ(std::string(error.what()), kFileAccessDenied);
      EXPECT_EQ(error.Path(), device);
    }
  }
  TempDir dir;
  const std::string path = dir.Write("a.bin", "abc");
  ExistingFile file = ExistingFile::Open(path);
  write_fault::FailNthStep(1);
  try {
    file.WriteAt(0, "x", 1);
    FAIL() << "the failing write succeeded";
  } catch (const Error& error) {
    EXPECT_EQ(std::string(error.what()), kDiskFull);
    EXPECT_EQ(error.Path(), path);
  }
  write_fault::FailNthStep(0);
  EXPECT_EQ(ReadAll(path), std::vector<std::uint8_t>({'a', 'b', 'c'}));
}

TEST(ExistingFileTest, OtherCausesGiveTheSystemErrorNumber) {
  EXPECT_EQ(IoErrorText(5), "I/O error 5");
  EXPECT_EQ(IoErrorText(1117), "I/O error 1117");
}

}  // namespace
}  // namespace vips
