#include "core/files/path_names.hpp"

#include <gtest/gtest.h>

namespace vips {
namespace {

TEST(PathNamesTest, BareNameIsThePartAfterTheLastSeparator) {
  EXPECT_EQ(BareName("/home/user/image.bin"), "image.bin");
  EXPECT_EQ(BareName("image.bin"), "image.bin");
  EXPECT_EQ(BareName("/folder/"), "");
  EXPECT_EQ(BareName(""), "");
#ifdef _WIN32
  EXPECT_EQ(BareName("C:\\games\\rom.smc"), "rom.smc");
  EXPECT_EQ(BareName("C:rom.smc"), "rom.smc");
  EXPECT_EQ(BareName("C:/games\\sub/rom.smc"), "rom.smc");
#else
  // A backslash or colon is an ordinary file-name character here.
  EXPECT_EQ(BareName("/tmp/a\\b:c"), "a\\b:c");
#endif
}

TEST(PathNamesTest, BackupPathAppendsAfterTheExtension) {
  EXPECT_EQ(BackupPathOf("/data/image.bin"), "/data/image.bin_backup");
  EXPECT_EQ(BareName(BackupPathOf("/data/image.bin")), "image.bin_backup");
}

}  // namespace
}  // namespace vips
