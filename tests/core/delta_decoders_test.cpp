#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "core/delta/bps_decoder.hpp"
#include "core/delta/bps_maker.hpp"
#include "core/delta/delta_errors.hpp"
#include "core/delta/delta_summary.hpp"
#include "core/delta/numbers.hpp"
#include "core/delta/patch_format.hpp"
#include "core/delta/ups_decoder.hpp"
#include "core/error.hpp"
#include "core/files/digests.hpp"
#include "tests/core/delta_builder.hpp"

namespace vips {
namespace {

using testing::BpsBuilder;
using testing::EncodeUps;
using testing::TestCrc32;
using Bytes = testing::DeltaBytes;

Bytes Text(const std::string& text) {
  return {text.begin(), text.end()};
}

// The error text a call throws; nothing when it does not throw.
template <typename Call>
std::optional<std::string> Refusal(Call&& call) {
  try {
    (void)call();
  } catch (const Error& error) {
    return error.what();
  }
  return std::nullopt;
}

constexpr std::uint64_t kFourGiB = std::uint64_t{1} << 32;

TEST(DeltaNumbersTest, ReadsEachSpellingAndRefusesOverflowAndCuts) {
  // Values worked out by hand from the rule: each group after the first
  // also adds its weight once.
  struct Case {
    Bytes bytes;
    std::optional<std::uint64_t> value;  // nothing: refused
    const char* refusal;
  };
  const Bytes nineZeros(9, 0x00);
  const auto then = [](Bytes head, std::initializer_list<std::uint8_t> tail) {
    head.insert(head.end(), tail);
    return head;
  };
  const std::uint64_t tenByteZero = [] {
    std::uint64_t sum = 0;
    for (int k = 1; k <= 9; ++k) sum += std::uint64_t{1} << (7 * k);
    return sum;
  }();
  const Case cases[] = {
      {{0x80}, 0, nullptr},
      {{0xFF}, 127, nullptr},
      {{0x00, 0x80}, 128, nullptr},
      {{0x01, 0x80}, 129, nullptr},
      {{0x7F, 0xFF}, 16511, nullptr},
      {{0x00, 0x00, 0x80}, 16512, nullptr},
      {then(nineZeros, {0x80}), tenByteZero, nullptr},
      {then(nineZeros, {0x81}), std::nullopt, kDeltaNumberTooLarge},
      {then(nineZeros, {0x00, 0x80}), std::nullopt, kDeltaNumberTooLarge},
      {then(Bytes(9, 0x7F), {0x80}), std::nullopt, kDeltaNumberTooLarge},
      {{}, std::nullopt, kDeltaCutShort},
      {{0x12, 0x00}, std::nullopt, kDeltaCutShort},
  };
  for (const Case& c : cases) {
    ByteCursor cursor(c.bytes);
    if (c.value) {
      EXPECT_EQ(cursor.Number(), *c.value) << ::testing::PrintToString(c.bytes);
      EXPECT_TRUE(cursor.AtEnd());
    } else {
      EXPECT_EQ(Refusal([&] { return cursor.Number(); }), c.refusal)
          << ::testing::PrintToString(c.bytes);
    }
  }
}

TEST(DeltaNumbersTest, WrittenNumbersReadBack) {
  const std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
  Bytes spelled;
  const std::uint64_t values[] = {0,         1,         127,      128,     16511,   16512, 16513,
                                  2'113'663, 2'113'664, kFourGiB, max / 2, max - 1, max};
  for (const std::uint64_t value : values) AppendNumber(spelled, value);
  ByteCursor cursor(spelled);
  for (const std::uint64_t value : values) EXPECT_EQ(cursor.Number(), value);
  EXPECT_TRUE(cursor.AtEnd());
}

TEST(PatchFormatTest, KnownByItsFirstBytes) {
  const std::pair<std::string, PatchFormat> cases[] = {
      {"PATCH", PatchFormat::Ips},     {"PATCHxyz", PatchFormat::Ips},
      {"BPS1", PatchFormat::Bps},      {"BPS1\x80", PatchFormat::Bps},
      {"UPS1 ", PatchFormat::Ups},     {"PATC", PatchFormat::Unknown},
      {"patch", PatchFormat::Unknown}, {"BPS2", PatchFormat::Unknown},
      {"UPS", PatchFormat::Unknown},   {"", PatchFormat::Unknown}};
  for (const auto& [first, format] : cases) {
    EXPECT_EQ(SniffPatchFormat(Text(first)), format) << first;
  }
}

// Originals and modified files of assorted shapes, each with its BPS from
// the maker and its UPS from the tests' encoder.
struct Shape {
  std::size_t size;
  std::ptrdiff_t growth;  // negative: the modified file is shorter
  int changesPerHundred;
  std::string metadata;
};

std::vector<std::pair<Bytes, Bytes>> MadeFiles(const Shape& shape, std::mt19937& random) {
  std::vector<std::pair<Bytes, Bytes>> files;
  for (int round = 0; round < 8; ++round) {
    Bytes original(shape.size);
    for (auto& byte : original) byte = static_cast<std::uint8_t>(random());
    Bytes modified = original;
    modified.resize(
        static_cast<std::size_t>(static_cast<std::ptrdiff_t>(shape.size) + shape.growth));
    for (std::size_t i = 0; i < modified.size(); ++i) {
      // A few zeros too: a UPS change ends at its first unchanged byte.
      if (static_cast<int>(random() % 100) < shape.changesPerHundred || i >= shape.size) {
        modified[i] = static_cast<std::uint8_t>(random() % 5 == 0 ? 0 : random());
      }
    }
    files.emplace_back(std::move(original), std::move(modified));
  }
  return files;
}

const Shape kShapes[] = {{0, 0, 0, ""},       {0, 40, 0, "<x/>"},  {1, 0, 100, ""},
                         {100, 0, 0, ""},     {100, 0, 3, "meta"}, {100, 0, 60, ""},
                         {300, 0, 100, ""},   {300, 200, 10, ""},  {300, -120, 10, ""},
                         {300, -300, 0, "m"}, {5000, 17, 1, ""},   {5000, -17, 50, ""}};

TEST(DeltaRoundTripTest, BpsFromTheMakerMakesTheModifiedFile) {
  std::mt19937 random(29);
  for (const Shape& shape : kShapes) {
    for (const auto& [original, modified] : MadeFiles(shape, random)) {
      const Bytes patch = MakeLinearBps(original, modified, shape.metadata);
      EXPECT_EQ(DecodeBps(patch, original, "original"), modified)
          << shape.size << "+" << shape.growth;
      EXPECT_EQ(BpsMetadata(patch), shape.metadata);
    }
  }
}

TEST(DeltaRoundTripTest, UpsMakesTheModifiedFileForwardsAndTheOriginalBackwards) {
  std::mt19937 random(31);
  for (const Shape& shape : kShapes) {
    for (const auto& [original, modified] : MadeFiles(shape, random)) {
      const Bytes patch = EncodeUps(original, modified);
      const DecodedUps forwards = DecodeUps(patch, original, "original");
      EXPECT_EQ(forwards.bytes, modified) << shape.size << "+" << shape.growth;
      EXPECT_FALSE(forwards.backwards);
      if (original == modified) continue;
      const DecodedUps backwards = DecodeUps(patch, modified, "modified");
      EXPECT_EQ(backwards.bytes, original) << shape.size << "+" << shape.growth;
      EXPECT_TRUE(backwards.backwards);
    }
  }
}

TEST(BpsDecoderTest, ActionsNoMakerWrites) {
  const Bytes source = Text("ABCDEFGH");
  struct Case {
    const char* what;
    BpsBuilder patch;
    std::string target;
  };
  const Case cases[] = {
      {"source copies forwards, then backwards past the start of the last",
       BpsBuilder(8, 8).SourceCopy(4, 4).SourceCopy(4, -8), "EFGHABCD"},
      {"source copies keep their own cursor across other actions",
       BpsBuilder(8, 6).SourceCopy(2, 6).TargetRead(Text("x")).SourceCopy(3, -3), "GHxFGH"},
      {"a target copy one byte behind repeats that byte",
       BpsBuilder(8, 6).TargetRead(Text("Z")).TargetCopy(5, 0), "ZZZZZZ"},
      {"a target copy three behind repeats the three",
       BpsBuilder(8, 10).TargetRead(Text("xyz")).TargetCopy(7, 0), "xyzxyzxyzx"},
      {"target copies move their cursor both ways",
       BpsBuilder(8, 8).TargetRead(Text("abcd")).TargetCopy(2, 2).TargetCopy(2, -4), "abcdcdab"},
      {"a source read takes the original's bytes at the output's position",
       BpsBuilder(8, 8).SourceRead(2).TargetRead(Text("xx")).SourceRead(4), "ABxxEFGH"},
      {"growth", BpsBuilder(8, 10).SourceRead(8).TargetRead(Text("IJ")), "ABCDEFGHIJ"},
      {"shrinking", BpsBuilder(8, 3).SourceRead(3), "ABC"},
      {"metadata is passed over", BpsBuilder(8, 8, "<patch>\x01\x80</patch>").SourceRead(8),
       "ABCDEFGH"},
      {"an empty target", BpsBuilder(8, 0), ""},
  };
  for (const Case& c : cases) {
    const Bytes target = Text(c.target);
    EXPECT_EQ(DecodeBps(c.patch.Finish(source, target), source, "original"), target) << c.what;
  }
}

std::string WrongOriginal(const std::string& name, const Bytes& actual, const Bytes& expected) {
  return "CRC-32 of " + name + " is " + Crc32Text(TestCrc32(actual)) + ", the patch is for " +
         Crc32Text(TestCrc32(expected));
}

// Damages `patch` at `at`; gives the refusal that names both CRC-32s.
std::string Damaged(Bytes& patch, std::size_t at) {
  std::uint32_t footer = 0;
  for (int i = 0; i < 4; ++i) footer |= std::uint32_t{patch[patch.size() - 4 + i]} << (8 * i);
  patch[at] ^= 0x40;
  return "The patch is damaged: its CRC-32 is " +
         Crc32Text(TestCrc32(std::span(patch).first(patch.size() - 4))) + ", its footer says " +
         Crc32Text(footer);
}

std::string WrongResult(const Bytes& actual, const Bytes& expected) {
  return "CRC-32 of the patched file is " + Crc32Text(TestCrc32(actual)) + ", the patch makes " +
         Crc32Text(TestCrc32(expected));
}

// The refusal tests decode patches for this source and target.
const Bytes kSource = Text("ABCDEFGH");
const Bytes kTarget = Text("abcdefgh");

// `format`, then `afterFormat`, then a footer for kSource and kTarget.
Bytes Framed(const char* format, const Bytes& afterFormat) {
  Bytes patch = Text(format);
  patch.insert(patch.end(), afterFormat.begin(), afterFormat.end());
  return testing::WithFooter(patch, TestCrc32(kSource), TestCrc32(kTarget));
}

// `numbers` spelled as the formats spell them, then `tail`.
Bytes Numbers(std::initializer_list<std::uint64_t> numbers, const Bytes& tail = {}) {
  Bytes bytes;
  for (const std::uint64_t number : numbers) AppendNumber(bytes, number);
  bytes.insert(bytes.end(), tail.begin(), tail.end());
  return bytes;
}

struct RefusalCase {
  const char* what;
  Bytes patch;
  std::string refusal;
};

template <typename Decode>
void ExpectRefusals(const std::vector<RefusalCase>& cases, Decode&& decode) {
  for (const RefusalCase& c : cases) {
    EXPECT_EQ(Refusal([&] { return decode(c.patch, kSource, "rom.sfc"); }), c.refusal) << c.what;
  }
}

TEST(BpsDecoderTest, RefusesBadPatchesWithTheirReason) {
  const auto finish = [&](const BpsBuilder& builder) { return builder.Finish(kSource, kTarget); };
  Bytes damaged = finish(BpsBuilder(8, 8).TargetRead(kTarget));
  const std::string damagedText = Damaged(damaged, 8);
  const Bytes tooLong(11, 0x00);
  ExpectRefusals(
      {
          {"another format", Text("BPS2xxxxxxxxxxxxxxxx"), kDeltaNotBps},
          {"shorter than a footer", Text("BPS1\x88\x88\x80"), kDeltaCutShort},
          {"damaged", damaged, damagedText},
          {"made for another original",
           BpsBuilder(8, 8).SourceRead(8).Finish(Text("ABCDEFGX"), kSource),
           WrongOriginal("rom.sfc", kSource, Text("ABCDEFGX"))},
          {"a result past 4 GiB", finish(BpsBuilder(8, kFourGiB + 1).SourceRead(8)),
           kDeltaTooLarge},
          {"4 GiB claimed, none made: refused before the result is allocated",
           finish(BpsBuilder(8, kFourGiB).SourceRead(8)), kDeltaShortOfTarget},
          {"metadata past the end", Framed("BPS1", Numbers({8, 8, 50}, Text("abc"))),
           kDeltaMetadataPastEnd},
          {"an overlong target size", Framed("BPS1", Numbers({8}, tooLong)), kDeltaNumberTooLarge},
          {"an overlong action", finish(BpsBuilder(8, 8).SourceRead(1).Raw(tooLong)),
           kDeltaNumberTooLarge},
          {"a kSource read past the target size", finish(BpsBuilder(8, 4).SourceRead(8)),
           kDeltaPastTarget},
          {"a target copy past the target size",
           finish(BpsBuilder(8, 8).TargetRead(Text("a")).TargetCopy(8, 0)), kDeltaPastTarget},
          {"a kSource read past the original's end", finish(BpsBuilder(8, 10).SourceRead(10)),
           kDeltaOutsideSource},
          {"a kSource read starting past the original's end",
           finish(BpsBuilder(8, 10).TargetRead(Text("abcdefghi")).SourceRead(1)),
           kDeltaOutsideSource},
          {"a kSource copy before the start", finish(BpsBuilder(8, 8).SourceCopy(1, -1)),
           kDeltaOutsideSource},
          {"a kSource copy running past the end", finish(BpsBuilder(8, 8).SourceCopy(2, 7)),
           kDeltaOutsideSource},
          {"a kSource copy starting past the end", finish(BpsBuilder(8, 8).SourceCopy(1, 9)),
           kDeltaOutsideSource},
          {"a target copy of nothing written yet", finish(BpsBuilder(8, 8).TargetCopy(1, 0)),
           kDeltaOutsideTarget},
          {"a target copy at the output",
           finish(BpsBuilder(8, 8).TargetRead(Text("ab")).TargetCopy(1, 2)), kDeltaOutsideTarget},
          {"a target copy ahead of the output",
           finish(BpsBuilder(8, 8).TargetRead(Text("ab")).TargetCopy(1, 5)), kDeltaOutsideTarget},
          {"a target copy before the start",
           finish(BpsBuilder(8, 8).TargetRead(Text("ab")).TargetCopy(1, -1)), kDeltaOutsideTarget},
          {"target bytes cut by the footer", finish(BpsBuilder(8, 8).Raw({0x9D}).Raw(Text("abc"))),
           kDeltaCutShort},
          {"a number cut by the footer", finish(BpsBuilder(8, 8).SourceRead(1).Raw({0x00})),
           kDeltaCutShort},
          {"actions ending short of the target", finish(BpsBuilder(8, 8).SourceRead(4)),
           kDeltaShortOfTarget},
          {"a result that is not the target", finish(BpsBuilder(8, 8).SourceRead(8)),
           WrongResult(kSource, kTarget)},
      },
      DecodeBps);
}

TEST(UpsDecoderTest, RefusesBadPatchesWithTheirReason) {
  const auto finish = [](std::initializer_list<std::uint64_t> numbers, const Bytes& tail) {
    return Framed("UPS1", Numbers(numbers, tail));
  };
  Bytes damaged = EncodeUps(kSource, kTarget);
  const std::string damagedText = Damaged(damaged, 6);
  ExpectRefusals(
      {
          {"another format", Text("UPS0xxxxxxxxxxxxxxxx"), kDeltaNotUps},
          {"shorter than a footer", Text("UPS1\x88"), kDeltaCutShort},
          {"damaged", damaged, damagedText},
          {"made for neither this original nor from it",
           EncodeUps(Text("ABCDEFGX"), Text("ABCDEFGY")),
           WrongOriginal("rom.sfc", kSource, Text("ABCDEFGX"))},
          {"a result past 4 GiB", finish({8, kFourGiB + 1}, {}), kDeltaTooLarge},
          {"a change at the end of both", finish({8, 8, 8}, {0x01, 0x00}), kDeltaPastBothEnds},
          {"a skip past the end of both", finish({8, 8, 9}, {0x00}), kDeltaPastBothEnds},
          {"a skip after a change ending at the end", finish({8, 8, 7}, {0x01, 0x00, 0x80, 0x00}),
           kDeltaPastBothEnds},
          {"an overlong skip", finish({8, 8}, Bytes(11, 0x00)), kDeltaNumberTooLarge},
          {"a change cut by the footer", finish({8, 8, 0}, {0x01, 0x02}), kDeltaCutShort},
          {"a result that is not the target", finish({8, 8, 0}, {0x01, 0x00}),
           WrongResult(Text("@BCDEFGH"), kTarget)},
      },
      DecodeUps);
}

TEST(DeltaSummaryTest, SizesCrcsAndMetadataAsThePatchGivesThem) {
  const Bytes original = Text("original bytes");
  const Bytes modified = Text("modified bytes, longer");
  struct Case {
    Bytes patch;
    PatchFormat format;
    std::string metadata;
    bool damage;
  };
  const Case cases[] = {
      {MakeLinearBps(original, modified, "<info>hack</info>"), PatchFormat::Bps,
       "<info>hack</info>", false},
      {MakeLinearBps(original, modified), PatchFormat::Bps, "", true},
      {EncodeUps(original, modified), PatchFormat::Ups, "", false},
      {EncodeUps(original, modified), PatchFormat::Ups, "", true},
  };
  for (Case c : cases) {
    if (c.damage) c.patch[c.patch.size() - 13] ^= 1;
    const DeltaSummary summary = SummarizeDelta(c.patch);
    EXPECT_EQ(summary.format, c.format);
    EXPECT_EQ(summary.sourceSize, original.size());
    EXPECT_EQ(summary.targetSize, modified.size());
    EXPECT_EQ(summary.sourceCrc, TestCrc32(original));
    EXPECT_EQ(summary.targetCrc, TestCrc32(modified));
    EXPECT_EQ(summary.patchCrcActual, TestCrc32(std::span(c.patch).first(c.patch.size() - 4)));
    EXPECT_EQ(summary.Damaged(), c.damage);
    EXPECT_EQ(summary.metadata, c.metadata);
  }
  EXPECT_THROW((void)SummarizeDelta(Text("PATCHEOF")), Error);
  EXPECT_THROW((void)SummarizeDelta(Text("BPS1\x80\x80\x85"
                                         "abc")),
               Error);
}

}  // namespace
}  // namespace vips
