// Reads arbitrary file contents line by line with the LineReader, as the
// run's loops do, and requires that the lines with the line ends they
// consumed give back the file exactly.
//
// An input that starts with '#' is written after filler bytes that put the
// reader's 64 KiB block boundary at the byte its second byte names, so that
// line ends split across two reads are fuzzed as well.

#include <stdlib.h>  // mkdtemp

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "fuzz_check.h"
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

// One private directory per process, holding the one file that every input
// is written to; removed when the process exits normally.
class InputFile {
 public:
  InputFile() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "brinok-fuzz-XXXXXX")
            .string();
    Check(::mkdtemp(pattern.data()) != nullptr, "temporary directory created");
    directory_ = pattern;
    path_ = (directory_ / "log").string();
  }
  ~InputFile() {
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
  }

  const char* Write(std::string_view bytes) const {
    // A fresh file each time: ext4 flushes a file emptied by truncation
    // when it is closed, which slows fuzzing tenfold.
    std::remove(path_.c_str());
    std::FILE* file = std::fopen(path_.c_str(), "wb");
    Check(file != nullptr, "input file opened");
    const bool written =
        std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    Check(std::fclose(file) == 0 && written, "input file written");
    return path_.c_str();
  }

 private:
  std::filesystem::path directory_;
  std::string path_;
};

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
// it started; returns the number of lines.
std::size_t ReadAndRebuild(const char* path, std::string_view contents) {
  LineReader reader(File::OpenInput(path));
  std::size_t pos = 0;
  std::size_t lines = 0;
  while (!reader.AtEnd()) {
    Check(pos < contents.size(), "not at the end while bytes remain");
    const std::string line = reader.ReadLine();
    ++lines;
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

std::size_t CountBySkipping(const char* path) {
  LineReader reader(File::OpenInput(path));
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
  static const InputFile input_file;
  const std::string contents =
      FileContents(std::string_view(reinterpret_cast<const char*>(data), size));
  const char* path = input_file.Write(contents);
  const std::size_t lines = ReadAndRebuild(path, contents);
  Check(CountBySkipping(path) == lines, "skipping counts the lines read");
  return 0;
}
