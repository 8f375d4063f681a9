#ifndef BRINOK_RUNTIME_LINE_READER_H_
#define BRINOK_RUNTIME_LINE_READER_H_

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "runtime/file.h"

namespace brinok {

/// Reads an open file as lines. A line ends at a carriage return, which
/// takes a line feed right after it along, or at the end of the file; a line
/// feed alone is an ordinary character. Lines are the file's bytes,
/// unchanged. Every failure raises RunFailure.
class LineReader {
 public:
  /// Large enough that a log is read in one call. Held in the reader itself,
  /// so that the block costs no heap. SkipLine holds nothing of a line, so
  /// counting lines takes the same memory whatever the file's size; ReadLine
  /// returns a line whole, so reading one takes memory as long as the line.
  static constexpr std::size_t kReadBlock = 64 * 1024;

  /// Reads `file` from its current position, which is its first byte.
  explicit LineReader(File file);
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  /// Passes over `prefix` if the file starts with it. Call before reading;
  /// `prefix` must be shorter than kReadBlock.
  void SkipLeading(std::string_view prefix);
  /// True when every line has been read.
  bool AtEnd();
  /// Reads the next line. Raises RunFailure(kPastEnd) at the end.
  std::string ReadLine();
  /// Reads the next line and forgets it, in constant memory. Raises
  /// RunFailure(kPastEnd) at the end.
  void SkipLine();

  /// The identity of the file being read, as it was opened.
  const FileIdentity& Identity() const { return file_.Identity(); }
  /// The bytes read from the file so far, from its first byte on, but no
  /// more than kReadBlock of them: what a later look compares the file with
  /// to tell whether it still holds what was read.
  std::string_view FirstBytes() const { return first_bytes_; }
  /// Closes the file; a failing close raises RunFailure.
  void Close() { file_.Close(); }

 private:
  // Makes the next byte available; false at the end of the file.
  bool Fill();
  // Reads into the block from `at` on, keeping the file's first bytes;
  // returns how many bytes came.
  std::size_t ReadAt(std::size_t at);
  // Takes one line, adding it to `line` unless that is null.
  void TakeLine(std::string* line);

  File file_;
  std::size_t pos_ = 0;
  std::size_t filled_ = 0;
  bool exhausted_ = false;
  // Bounded, so that a huge file costs no more than its first block; a few
  // dozen bytes for a weather log.
  std::string first_bytes_;
  std::array<char, kReadBlock> block_;
};

}  // namespace brinok

#endif  // BRINOK_RUNTIME_LINE_READER_H_
