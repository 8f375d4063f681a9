// Reading files as lines and writing text into them, on real files.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "runtime/file.h"
#include "runtime/line_reader.h"
#include "runtime/run_failure.h"
#include "runtime/text_writer.h"
#include "scratch_dir.h"

namespace brinok {
namespace {

using ::brinok::testing::ScratchDir;

// Reads every line of `bytes` the way the run's loops do.
std::vector<std::string> ReadAllLines(const std::string& bytes) {
  ScratchDir dir;
  dir.Write("in", bytes);
  LineReader reader(File::OpenInput((dir / "in").c_str()));
  std::vector<std::string> lines;
  while (!reader.AtEnd()) lines.push_back(reader.ReadLine());
  reader.Close();
  return lines;
}

// A line that crosses the read block, with its CR LF split across it.
const std::string kLongLine(LineReader::kReadBlock - 1, 'a');

TEST(LineReader, SplitsAsTheRunReadsIt) {
  const struct {
    const char* name;
    std::string bytes;
    std::vector<std::string> lines;
  } cases[] = {
      {"CrLfPairs", "x\r\ny\r\n", {"x", "y"}},
      {"TrailingEmptyLine", "x\r\n\r\n", {"x", ""}},
      {"LoneCarriageReturn", "x\ry", {"x", "y"}},
      {"LoneLineFeedIsOrdinary", "x\ny", {"x\ny"}},
      {"LastLineWithoutEnd", "x\r\nlast", {"x", "last"}},
      {"EmptyFile", "", {}},
      {"LineFeedBeforeCarriageReturn", "\n\r\n", {"\n"}},
      {"CrCrLf", "a\r\r\nb", {"a", "", "b"}},
      {"NulAndHighBytesKept",
       std::string("a\0\xff\x80\r\n", 6),
       {std::string("a\0\xff\x80", 4)}},
      {"CrLfSplitAcrossBlocks", kLongLine + "\r\nz", {kLongLine, "z"}},
      {"LongLineAcrossBlocks",
       kLongLine + kLongLine + "\r",
       {kLongLine + kLongLine}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ReadAllLines(c.bytes), c.lines);
  }
}

TEST(LineReader, ReadingAtTheEndIsARunFailure) {
  ScratchDir dir;
  dir.Write("in", "only\r\n");
  LineReader reader(File::OpenInput((dir / "in").c_str()));
  EXPECT_EQ(reader.ReadLine(), "only");
  ASSERT_TRUE(reader.AtEnd());
  try {
    reader.ReadLine();
    FAIL() << "read past the end";
  } catch (const RunFailure& failure) {
    EXPECT_EQ(failure.kind(), FailureKind::kPastEnd);
  }
}

TEST(LineReader, SkippedLinesCountLikeReadOnes) {
  ScratchDir dir;
  dir.Write("in", kLongLine + kLongLine + "\r\nx\ry");
  LineReader reader(File::OpenInput((dir / "in").c_str()));
  int count = 0;
  while (!reader.AtEnd()) {
    reader.SkipLine();
    ++count;
  }
  EXPECT_EQ(count, 3);
}

TEST(LineReader, SkipsALeadingPrefixOnlyAtTheStart) {
  const struct {
    std::string bytes;
    std::string first_line;
  } cases[] = {
      {"\xEF\xBB\xBF"
       "270\r\n",
       "270"},
      {"270\xEF\xBB\xBF\r\n", "270\xEF\xBB\xBF"},
      {"\xEF\xBB", "\xEF\xBB"},  // too short to hold it
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    dir.Write("in", c.bytes);
    LineReader reader(File::OpenInput((dir / "in").c_str()));
    reader.SkipLeading("\xEF\xBB\xBF");
    EXPECT_EQ(reader.ReadLine(), c.first_line);
  }
}

TEST(TextWriter, WritesLineEndsAndTimeAsGiven) {
  ScratchDir dir;
  TextWriter writer(File::OpenOutput((dir / "out").c_str()));
  writer.Write("a");
  writer.WriteLine("b");
  writer.Write("c");
  // 5 May 2009, 12:00:00.123456789 UTC.
  writer.Commit({1241524800, 123456789});
  EXPECT_EQ(dir.Read("out"), "ab\r\nc");
  struct stat status;
  ASSERT_EQ(::stat((dir / "out").c_str(), &status), 0);
  EXPECT_EQ(status.st_mtim.tv_sec, 1241524800);
  EXPECT_EQ(status.st_mtim.tv_nsec, 123456789);
}

TEST(TextWriter, OutputEmptiesAnExistingFile) {
  ScratchDir dir;
  dir.Write("out", "old content");
  TextWriter(File::OpenOutput((dir / "out").c_str())).Commit({});
  EXPECT_EQ(dir.Read("out"), "");
}

TEST(TextWriter, UncommittedWriterLeavesWhatWasWritten) {
  ScratchDir dir;
  {
    TextWriter writer(File::OpenOutput((dir / "out").c_str()));
    writer.Write("unfinished");
  }
  EXPECT_EQ(dir.Read("out"), "unfinished");
}

}  // namespace
}  // namespace brinok
