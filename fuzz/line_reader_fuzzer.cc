// Reads arbitrary file contents line by line with the LineReader, as the
// run's loops do, from a file in memory, and requires that the lines with
// the line ends they consumed give back the file exactly, and that reads
// giving one byte at a time (as a network file system may) give the same
// lines: every byte is then at the end of a read.
//
// An input that starts with '#' is put after filler bytes that put the
// reader's 64 KiB block boundary at the byte its second byte names, so that
// line ends split across two whole reads are fuzzed as well; its reads are
// not cut, which would add only the filler's 64 Ki reads.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "memory_folder.h"
#include "runtime/file.h"
#include "runtime/line_reader.h"
#include "runtime/run_failure.h"

namespace {

using ::brinok::FailureKind;
using ::brinok::File;
using ::brinok::LineReader;
using ::brinok::RunFailure;
using ::brinok::fuzz::Check;

constexpr std::size_t kReadBlock = LineReader::kReadBlock;
constexpr char kName[] = "log";

std::string FileContents(std::string_view input) {
  if (input.size() >= 2 && input[0] == '#') {
    const std::size_t shift = static_cast<unsigned char>(input[1]);
    std::string contents(kReadBlock - shift, 'x');
    contents.append(input.substr(2));
    return contents;
  }
  return std::string(input);
}

// Reads every line and checks each against the file at the position where
// it started; returns the lines.
std::vector<std::string> ReadAndRebuild(std::string_view contents) {
  LineReader reader(File::OpenInput(kName));
  std::size_t pos = 0;
  std::vector<std::string> lines;
  while (!reader.AtEnd()) {
    Check(pos < contents.size(), "not at the end while bytes remain");
    const std::string& line = lines.emplace_back(reader.ReadLine());
    Check(line.find('\r') == std::string::npos, "no carriage return in a line");
    Check(contents.substr(pos, line.size()) == line,
          "the line is the file's bytes from where the last line end stopped");
    pos += line.size();
    // What ended the line: the end of the file, or a carriage return that
    // takes a line feed right after it along.
    if (pos == contents.size()) break;
    Check(contents[pos] == '\r', "a line stops only at a carriage return");
    ++pos;
    if (pos < contents.size() && contents[pos] == '\n') ++pos;
  }
  Check(pos == contents.size(), "the lines and line ends rebuild the file");
  Check(reader.AtEnd(), "at the end after the last line");
  bool past_end_fails = false;
  try {
    reader.ReadLine();
  } catch (const RunFailure& failure) {
    past_end_fails = failure.kind() == FailureKind::kPastEnd;
  }
  Check(past_end_fails, "reading past the end fails with kPastEnd");
  reader.Close();
  return lines;
}

std::size_t CountBySkipping() {
  LineReader reader(File::OpenInput(kName));
  std::size_t lines = 0;
  while (!reader.AtEnd()) {
    reader.SkipLine();
    ++lines;
  }
  reader.Close();
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string contents =
      FileContents(std::string_view(reinterpret_cast<const char*>(data), size));
  brinok::fuzz::ResetFolder({{kName, contents}});
  brinok::fuzz::LimitReads(0);
  const std::vector<std::string> lines = ReadAndRebuild(contents);
  Check(CountBySkipping() == lines.size(), "skipping counts the lines read");
  if (contents.size() == size) {
    brinok::fuzz::LimitReads(1);
    Check(ReadAndRebuild(contents) == lines, "short reads give the same lines");
    Check(CountBySkipping() == lines.size(),
          "skipping counts the same lines in short reads");
  }
  return 0;
}
