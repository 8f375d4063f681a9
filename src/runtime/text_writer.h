#ifndef BRINOK_RUNTIME_TEXT_WRITER_H_
#define BRINOK_RUNTIME_TEXT_WRITER_H_

#include <string>
#include <string_view>

#include "runtime/file.h"

namespace brinok {

/// Writes text into an open file. What is written is held until Commit,
/// which writes it out in one piece, dates the file, forces it to stable
/// storage and closes it. A writer that goes without Commit, because the run
/// failed, still writes out what it holds, without dating it or forcing it
/// to storage and ignoring every error: a failed run leaves exactly what it
/// had written.
class TextWriter {
 public:
  explicit TextWriter(File file);
  ~TextWriter();
  TextWriter(const TextWriter&) = delete;
  TextWriter& operator=(const TextWriter&) = delete;

  /// Adds the text; the next write continues the same line.
  void Write(std::string_view text);
  /// Adds the text and a line end (CR LF).
  void WriteLine(std::string_view text);
  /// Writes everything out, gives the file `modified` as its modification
  /// time, forces it to stable storage and closes the file. Raises
  /// RunFailure if any of that fails; nothing more is written then.
  void Commit(const FileTime& modified);

 private:
  File file_;
  std::string pending_;
  bool finished_ = false;
};

}  // namespace brinok

#endif  // BRINOK_RUNTIME_TEXT_WRITER_H_
