// Line reading and writing through channels on real files.

#include "runtime/channels.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/run_failure.h"
#include "scratch_dir.h"

namespace brinok {
namespace {

using ::brinok::testing::ScratchDir;

// Reads every line of `bytes` the way the run's loops do.
std::vector<std::string> ReadAllLines(const std::string& bytes) {
  ScratchDir dir;
  dir.Write("in", bytes);
  Channels channels;
  channels.OpenInput(1, (dir / "in").c_str());
  std::vector<std::string> lines;
  while (!channels.AtEnd(1)) lines.push_back(channels.ReadLine(1));
  channels.CloseAll();
  return lines;
}

struct LineCase {
  const char* name;
  std::string bytes;
  std::vector<std::string> lines;
};

class LineReadingTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(LineReadingTest, SplitsAsTheRunReadsIt) {
  EXPECT_EQ(ReadAllLines(GetParam().bytes), GetParam().lines);
}

// A line that crosses the 64 KiB read block, with its CR LF split across it.
const std::string kLongLine(64 * 1024 - 1, 'a');

INSTANTIATE_TEST_SUITE_P(
    Lines, LineReadingTest,
    ::testing::Values(
        LineCase{"CrLfPairs", "x\r\ny\r\n", {"x", "y"}},
        LineCase{"TrailingEmptyLine", "x\r\n\r\n", {"x", ""}},
        LineCase{"LoneCarriageReturn", "x\ry", {"x", "y"}},
        LineCase{"LoneLineFeedIsOrdinary", "x\ny", {"x\ny"}},
        LineCase{"LastLineWithoutEnd", "x\r\nlast", {"x", "last"}},
        LineCase{"EmptyFile", "", {}},
        LineCase{"LineFeedBeforeCarriageReturn", "\n\r\n", {"\n"}},
        LineCase{"CrCrLf", "a\r\r\nb", {"a", "", "b"}},
        LineCase{"NulAndHighBytesKept",
                 std::string("a\0\xff\x80\r\n", 6),
                 {std::string("a\0\xff\x80", 4)}},
        LineCase{
            "CrLfSplitAcrossBlocks", kLongLine + "\r\nz", {kLongLine, "z"}},
        LineCase{"LongLineAcrossBlocks",
                 kLongLine + kLongLine + "\r",
                 {kLongLine + kLongLine}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Channels, ReadingAtTheEndIsARunFailure) {
  ScratchDir dir;
  dir.Write("in", "only\r\n");
  Channels channels;
  channels.OpenInput(1, (dir / "in").c_str());
  EXPECT_EQ(channels.ReadLine(1), "only");
  ASSERT_TRUE(channels.AtEnd(1));
  try {
    channels.ReadLine(1);
    FAIL() << "read past the end";
  } catch (const RunFailure& failure) {
    EXPECT_EQ(failure.kind(), FailureKind::kPastEnd);
  }
}

TEST(Channels, SkippedLinesCountLikeReadOnes) {
  ScratchDir dir;
  dir.Write("in", kLongLine + kLongLine + "\r\nx\ry");
  Channels channels;
  channels.OpenInput(1, (dir / "in").c_str());
  int count = 0;
  while (!channels.AtEnd(1)) {
    channels.SkipLine(1);
    ++count;
  }
  EXPECT_EQ(count, 3);
}

TEST(Channels, PrintFormsJoinAndEndLines) {
  ScratchDir dir;
  Channels channels;
  channels.OpenOutput(2, (dir / "out").c_str());
  channels.Print(2, "a", PrintForm::kJoin);
  channels.Print(2, "b", PrintForm::kLine);
  channels.Print(2, "c", PrintForm::kJoin);
  channels.CloseAll();
  EXPECT_EQ(dir.Read("out"), "ab\r\nc");
}

TEST(Channels, OutputEmptiesAnExistingFile) {
  ScratchDir dir;
  dir.Write("out", "old content");
  Channels channels;
  channels.OpenOutput(2, (dir / "out").c_str());
  channels.CloseAll();
  EXPECT_EQ(dir.Read("out"), "");
}

TEST(Channels, EndWritesOutWhatWasPrinted) {
  ScratchDir dir;
  Channels channels;
  channels.OpenOutput(2, (dir / "out").c_str());
  channels.Print(2, "unfinished", PrintForm::kJoin);
  channels.End();
  EXPECT_EQ(dir.Read("out"), "unfinished");
}

TEST(Channels, AppendDoesNotCreateAMissingFile) {
  ScratchDir dir;
  Channels channels;
  EXPECT_FALSE(channels.OpenAppendIfExists(1, (dir / "report").c_str()));
  EXPECT_FALSE(dir.Read("report").has_value());

  dir.Write("report", "kept");
  EXPECT_TRUE(channels.OpenAppendIfExists(1, (dir / "report").c_str()));
  channels.CloseAll();
  EXPECT_EQ(dir.Read("report"), "kept");
}

TEST(Channels, MissingInputIsNotFound) {
  ScratchDir dir;
  Channels channels;
  try {
    channels.OpenInput(1, (dir / "missing").c_str());
    FAIL() << "opened a missing file";
  } catch (const RunFailure& failure) {
    EXPECT_EQ(failure.kind(), FailureKind::kNotFound);
  }
}

}  // namespace
}  // namespace brinok
