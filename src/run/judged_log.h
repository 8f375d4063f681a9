#ifndef BRINOK_RUN_JUDGED_LOG_H_
#define BRINOK_RUN_JUDGED_LOG_H_

#include <string>

#include "runtime/file.h"

namespace brinok {

class LineReader;

/// The weather log as the run judged it: the file at the log's name when the
/// check opened it and the bytes the check read, later the compacted copy
/// that took its place and the bytes the reading read. The weather program
/// may write a new log at any time, in place or by putting another file at
/// the name; a log that is not the judged one is never deleted or replaced,
/// but left for the next run. Every deletion and replacement of the log goes
/// through here: the log is first set aside (SetAsideLog), where a program
/// writing the log's name no longer reaches it, and deleted there only if it
/// is the judged file and still holds the bytes read from it; otherwise it
/// goes back.
class JudgedLog {
 public:
  explicit JudgedLog(const FileIdentity& judged) : identity_(judged) {}

  /// Raises RunFailure(kChanged) unless `opened`, the identity of a file just
  /// opened at the log's name, is the judged log's.
  void Require(const FileIdentity& opened) const;
  /// Remembers the bytes that `log`, a reader of the judged log, has read
  /// from it: from then on the log is deleted or replaced only while it
  /// still holds them.
  void Remember(const LineReader& log);
  /// Deletes the log. Raises RunFailure(kChanged) when the name holds another
  /// file or the judged one changed (it is then left) or nothing.
  void Remove() const;
  /// Gives the file `name` the log's name, then deletes the judged log; from
  /// then on that file is the judged log, whose bytes are to be remembered
  /// anew. Raises RunFailure(kChanged) as Remove does, with both names left
  /// as they were, and when a newer log comes to the name meanwhile: it
  /// stays, as does `name`, and the judged log, which it supersedes, goes.
  void ReplaceWith(const char* name);
  /// Deletes the log if the name still holds the judged one. A changed log
  /// is left for the next run and a vanished one is gone either way: neither
  /// is a failure.
  void RemoveIfUnchanged() const;

 private:
  // Sets the log aside and deletes it if it is the judged one; else puts it
  // back. Returns whether it deleted it.
  bool DeleteIfJudged() const;

  FileIdentity identity_;
  std::string bytes_;
};

}  // namespace brinok

#endif  // BRINOK_RUN_JUDGED_LOG_H_
