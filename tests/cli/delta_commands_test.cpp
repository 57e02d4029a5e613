// BPS and UPS patches on the command line: listed by stretch against their
// original, applied whole or in part (alone or among IPS patches), refused
// when they do not fit, exported as IPS, described and made; and the length
// an IPS patch may give after its end marker.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/commands.hpp"
#include "core/delta/bps_maker.hpp"
#include "core/delta/delta_frame.hpp"
#include "core/delta_builder.hpp"
#include "core/files/digests.hpp"
#include "ips_bytes.hpp"
#include "run_cli.hpp"
#include "support/temp_dir.hpp"

namespace vips::cli {
namespace {

using testing::IpsBytes;
using testing::Outcome;
using testing::RunCommand;
using testing::TempDir;
using Args = std::vector<std::string>;

const std::string kOriginal = "0123456789abcdefghij";
// Stretches 2-3 and 13-14, and three bytes past the end.
const std::string kGrown = "01XY456789abcDEfghij+++";
// Stretches 1-2 and 11, then cut to 12 bytes.
const std::string kShrunk = "0XY3456789aZ";

std::vector<std::uint8_t> Bytes(const std::string& text) {
  return {text.begin(), text.end()};
}

std::string Crc(const std::string& text) {
  return Crc32Text(Crc32Of(Bytes(text)));
}

enum class Format { Bps, Ups };

class DeltaCommandsTest : public ::testing::Test {
 protected:
  std::string Patch(Format format, const std::string& from, const std::string& to,
                    const std::string& name = "hack") {
    if (format == Format::Bps)
      return dir_.Write(name + ".bps", MakeLinearBps(Bytes(from), Bytes(to)));
    return dir_.Write(name + ".ups", testing::EncodeUps(Bytes(from), Bytes(to)));
  }
  std::string Read(const std::string& path) const { return testing::ReadText(path); }
  // Runs apply in place, or with --output into new.bin; gives what the file
  // written holds then, and leaves the outcome in `o`.
  std::string Apply(Args options, const Args& patches, bool toNewFile, Outcome& o) {
    const std::string target = toNewFile ? dir_.File("new.bin") : original_;
    if (toNewFile) options.insert(options.end(), {"--output", target});
    Args args{"apply"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(original_);
    args.insert(args.end(), patches.begin(), patches.end());
    o = RunCommand(args);
    return testing::Exists(target) ? Read(target) : "(none)";
  }

  TempDir dir_;
  std::string original_ = dir_.Write("game.bin", kOriginal);
};

TEST_F(DeltaCommandsTest, ListShowsStretchesAgainstTheOriginal) {
  const std::string grown = "1\t2\t3\tdata\t2\n2\tD\tE\tdata\t2\n3\t14\t16\tdata\t3\n";
  struct Case {
    Format format;
    std::string from, to, against, out, note;
  };
  const Case cases[] = {
      {Format::Bps, kOriginal, kGrown, kOriginal, grown, ""},
      {Format::Ups, kOriginal, kGrown, kOriginal, grown, ""},
      {Format::Bps, kOriginal, kShrunk, kOriginal, "1\t1\t2\tdata\t2\n2\tB\tB\tdata\t1\n",
       ": applying every stretch also shortens " + original_ + " to 12 bytes.\n"},
      // Applied backwards, a UPS patch changes the made file back.
      {Format::Ups, kOriginal, kShrunk, kShrunk,
       "1\t1\t2\tdata\t2\n2\tB\tB\tdata\t1\n3\tC\t13\tdata\t8\n",
       ": " + original_ +
           " is the file this patch makes: it is applied backwards, back to the "
           "file it was made from.\n"},
  };
  for (const Case& c : cases) {
    const std::string patch = Patch(c.format, c.from, c.to);
    dir_.Write("game.bin", c.against);
    const Outcome o = RunCommand({"list", patch, original_});
    EXPECT_EQ(o.status, kExitDone) << o.err;
    EXPECT_EQ(o.out, c.out) << patch;
    EXPECT_EQ(o.err, c.note.empty() ? "" : patch + c.note);
    // Without ORIGINAL there is nothing to list the stretches against.
    const Outcome alone = RunCommand({"list", patch});
    EXPECT_EQ(alone.status, kExitUsage);
    EXPECT_TRUE(testing::IsUsageReport(alone.err)) << alone.err;
  }
}

TEST_F(DeltaCommandsTest, ApplyWritesTheChosenStretches) {
  struct Case {
    std::string to;
    Args options;
    std::string expected;
  };
  const Case cases[] = {
      {kGrown, {}, kGrown},
      {kGrown, {"--only", "1,3"}, "01XY456789abcdefghij+++"},
      {kGrown, {"--skip", "3"}, "01XY456789abcDEfghij"},
      // Only every stretch cuts the file.
      {kShrunk, {}, kShrunk},
      {kShrunk, {"--only", "1"}, "0XY3456789abcdefghij"},
  };
  for (const Format format : {Format::Bps, Format::Ups}) {
    for (const Case& c : cases) {
      for (const bool toNewFile : {false, true}) {
        dir_.Write("game.bin", kOriginal);
        const std::string patch = Patch(format, kOriginal, c.to);
        Outcome o;
        EXPECT_EQ(Apply(c.options, {patch}, toNewFile, o), c.expected) << patch << " " << toNewFile;
        EXPECT_EQ(o.status, kExitDone) << o.err;
        EXPECT_EQ(o.err, "");
        if (toNewFile) {
          EXPECT_EQ(Read(original_), kOriginal);
        }
      }
    }
  }
}

TEST_F(DeltaCommandsTest, ApplyChainsPatchesOfEveryFormat) {
  const std::string ips = dir_.Write("fix.ips", IpsBytes().Data(0, "AB").Complete());
  const std::string fixed = "AB23456789abcdefghij";
  const Args bpsAfterIps{ips, Patch(Format::Bps, fixed, kShrunk, "after")};
  const Args upsThenIps{Patch(Format::Ups, kOriginal, kGrown, "before"), ips};
  for (const bool toNewFile : {false, true}) {
    Outcome o;
    dir_.Write("game.bin", kOriginal);
    EXPECT_EQ(Apply(toNewFile ? Args{} : Args{"--backup"}, bpsAfterIps, toNewFile, o), kShrunk);
    EXPECT_EQ(o.status, kExitDone) << o.err;
    if (!toNewFile) {
      EXPECT_EQ(Read(original_ + "_backup"), kOriginal);
    }
    dir_.Write("game.bin", kOriginal);
    EXPECT_EQ(Apply({}, upsThenIps, toNewFile, o), "ABXY456789abcDEfghij+++");
    EXPECT_EQ(o.status, kExitDone) << o.err;
  }
}

TEST_F(DeltaCommandsTest, RefusalsNameTheCrcAndWriteNothing) {
  const std::string other = "a file the patch is not for";
  const std::string wrongOriginal = ": CRC-32 of " + original_ + " is " + Crc(kOriginal) +
                                    ", the patch is for " + Crc(other) + "\n";
  for (const Format format : {Format::Bps, Format::Ups}) {
    const std::string forOther = Patch(format, other, kGrown, "other");
    std::vector<std::uint8_t> damaged = testing::ReadAll(Patch(format, kOriginal, kGrown));
    damaged[6] ^= 0x40;
    const std::string broken = dir_.Write("broken.bin", damaged);
    for (const bool toNewFile : {false, true}) {
      Outcome o;
      EXPECT_EQ(Apply({}, {forOther}, toNewFile, o), toNewFile ? "(none)" : kOriginal);
      EXPECT_EQ(o.status, kExitChecksumMismatch);
      EXPECT_EQ(o.err, forOther + wrongOriginal);
      EXPECT_EQ(Apply({}, {broken}, toNewFile, o), toNewFile ? "(none)" : kOriginal);
      EXPECT_EQ(o.status, kExitDamagedPatch);
      EXPECT_EQ(o.err.rfind(broken + ": The patch is damaged: its CRC-32 is ", 0), 0u) << o.err;
    }
    EXPECT_EQ(RunCommand({"list", forOther, original_}).status, kExitChecksumMismatch);
    const Outcome swapped = RunCommand({"apply", forOther, original_});
    EXPECT_EQ(swapped.status, kExitNotAPatch);
    EXPECT_TRUE(swapped.err.ends_with(" patch: the two may be swapped.\n")) << swapped.err;
    EXPECT_EQ(RunCommand({"export", broken, original_, dir_.File("x.ips")}).status,
              kExitDamagedPatch);
  }
  EXPECT_EQ(testing::NamesIn(dir_.Path()),
            (std::vector<std::string>{"broken.bin", "game.bin", "hack.bps", "hack.ups", "other.bps",
                                      "other.ups"}));
}

TEST_F(DeltaCommandsTest, TruncateCutsToTheLengthAfterTheEndMarker) {
  const std::string records = IpsBytes().Data(2, "AB").Data(15, "ZZ").Complete();
  struct Case {
    std::string trailer;
    Args options;
    std::string expected;
  };
  const Case cases[] = {
      {std::string("\0\0\x0a", 3), {"--truncate"}, "01AB456789"},
      {std::string("\0\0\x0a", 3), {}, "01AB456789abcdeZZhij"},
      // A longer length does not lengthen; four bytes are no length.
      {std::string("\0\0\x1e", 3), {"--truncate"}, "01AB456789abcdeZZhij"},
      {std::string("\0\0\x0a\0", 4), {"--truncate"}, "01AB456789abcdeZZhij"},
  };
  for (const Case& c : cases) {
    const std::string patch = dir_.Write("cut.ips", records + c.trailer);
    for (const bool toNewFile : {false, true}) {
      dir_.Write("game.bin", kOriginal);
      Outcome o;
      EXPECT_EQ(Apply(c.options, {patch}, toNewFile, o), c.expected) << c.trailer.size();
      EXPECT_EQ(o.status, kExitDone) << o.err;
    }
    const bool carries = c.trailer.size() == 3;
    EXPECT_EQ(RunCommand({"list", patch}).err.find("the patch gives the file's length") !=
                  std::string::npos,
              carries);
    EXPECT_EQ(RunCommand({"info", patch})
                      .out.find(": gives the file's length after its end "
                                "marker: ") != std::string::npos,
              carries);
  }
}

TEST_F(DeltaCommandsTest, ExportWritesTheChosenStretchesAsIps) {
  struct Case {
    Args options;
    std::string expected;
  };
  const Case cases[] = {{{}, kGrown}, {{"--only", "2-3"}, "0123456789abcDEfghij+++"}};
  for (const Format format : {Format::Bps, Format::Ups}) {
    const std::string patch = Patch(format, kOriginal, kGrown);
    for (const Case& c : cases) {
      Args args{"export"};
      args.insert(args.end(), c.options.begin(), c.options.end());
      args.insert(args.end(), {patch, original_, dir_.File("part.ips")});
      const Outcome o = RunCommand(args);
      ASSERT_EQ(o.status, kExitDone) << o.err;
      const Outcome applied =
          RunCommand({"apply", "--output", dir_.File("new.bin"), original_, dir_.File("part.ips")});
      EXPECT_EQ(applied.status, kExitDone) << applied.err;
      EXPECT_EQ(Read(dir_.File("new.bin")), c.expected);
    }
    // An IPS patch cannot shorten the file.
    const std::string shrinking = Patch(format, kOriginal, kShrunk);
    const Outcome o = RunCommand({"export", shrinking, original_, dir_.File("short.ips")});
    EXPECT_EQ(o.status, kExitNotExpressible);
    EXPECT_NE(o.err.find("never shorten"), std::string::npos) << o.err;
    EXPECT_FALSE(testing::Exists(dir_.File("short.ips")));
    EXPECT_EQ(RunCommand({"export", patch, dir_.File("x.ips")}).status, kExitUsage);
  }
}

TEST_F(DeltaCommandsTest, StatusTellsWhetherTheOriginalIsBeforeOrAfter) {
  const std::string patch = Patch(Format::Bps, kOriginal, kGrown);
  struct Case {
    std::string file;
    int status;
    std::string out, errEnd;
  };
  const Case cases[] = {
      {kOriginal, kExitDone, "1\t2\t3\tpending\n2\tD\tE\tpending\n3\t14\t16\tpending\n",
       "0 of 3 stretches applied.\n"},
      {kGrown, kExitDone, "", " makes: every stretch is applied.\n"},
      {"01XY456789abcdefghij", kExitChecksumMismatch, "",
       ", the patch is for " + Crc(kOriginal) + "\n"},
  };
  for (const Case& c : cases) {
    dir_.Write("game.bin", c.file);
    const Outcome o = RunCommand({"status", original_, patch});
    EXPECT_EQ(o.status, c.status) << o.err;
    EXPECT_EQ(o.out, c.out);
    EXPECT_TRUE(o.err.ends_with(c.errEnd)) << o.err;
  }
}

TEST_F(DeltaCommandsTest, InfoGivesSizesCrcsAndMetadata) {
  const std::string bps = dir_.Write(
      "meta.bps", MakeLinearBps(Bytes(kOriginal), Bytes(kGrown), "<title>\nFix</title>"));
  std::vector<std::uint8_t> damaged = testing::EncodeUps(Bytes(kOriginal), Bytes(kShrunk));
  damaged[7] ^= 1;
  const std::string ups = dir_.Write("bad.ups", damaged);
  const Outcome o = RunCommand({"info", bps, ups});
  EXPECT_EQ(o.status, kExitDone) << o.err;
  const std::string bpsCrc = Crc32Text(Crc32Of(testing::ReadAll(bps)));
  const std::vector<std::string> lines = {
      bps + ": BPS patch for 20 bytes with CRC-32 " + Crc(kOriginal) +
          ", making 23 bytes with "
          "CRC-32 " +
          Crc(kGrown) + "\n",
      bps + ": metadata: <title>\n" + bps + ": metadata: Fix</title>\n",
      ups + ": UPS patch for 20 bytes with CRC-32 " + Crc(kOriginal) +
          ", making 12 bytes with "
          "CRC-32 " +
          Crc(kShrunk) + "\n" + ups + ": damaged: its CRC-32 is ",
  };
  for (const std::string& line : lines) EXPECT_NE(o.out.find(line), std::string::npos) << line;
}

TEST_F(DeltaCommandsTest, CreateBpsThenApplyGivesTheModifiedFile) {
  for (const std::string& modified : {kGrown, kShrunk, kOriginal, std::string()}) {
    dir_.Write("game.bin", kOriginal);
    const std::string target = dir_.Write("modified.bin", modified);
    const Outcome made = RunCommand({"create", "--bps", original_, target, dir_.File("fix.bps")});
    ASSERT_EQ(made.status, kExitDone) << made.err;
    Outcome o;
    EXPECT_EQ(Apply({}, {dir_.File("fix.bps")}, false, o), modified);
    EXPECT_EQ(o.status, kExitDone) << o.err;
  }
}

}  // namespace
}  // namespace vips::cli
