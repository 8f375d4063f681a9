#ifndef BRINOK_RUN_JUDGED_LOG_H_
#define BRINOK_RUN_JUDGED_LOG_H_

#include "runtime/file.h"

namespace brinok {

/// The weather log as the run judged it: the file at the log's name when the
/// check opened it, later the compacted copy that took its place. The weather
/// program may write a new log at any time, in place or by putting another
/// file at the name; a log that is no longer the judged one is never deleted
/// or replaced, but left for the next run. Every deletion and replacement of
/// the log goes through here. Only a change in the moment between the last
/// look at the name and the deletion or rename right after it goes unseen.
class JudgedLog {
 public:
  explicit JudgedLog(const FileIdentity& judged) : judged_(judged) {}

  /// Raises RunFailure(kChanged) unless `opened`, the identity of a file just
  /// opened at the log's name, is the judged log's.
  void Require(const FileIdentity& opened) const;
  /// Deletes the log. Raises RunFailure(kChanged) when the name no longer
  /// holds the judged log (it is gone, or another file is there), and then
  /// deletes nothing.
  void Remove() const;
  /// Gives the file `name` the log's name in one step, replacing the judged
  /// log; from then on that file is the judged log. Raises
  /// RunFailure(kChanged) as Remove does, with both names left as they were.
  void ReplaceWith(const char* name);
  /// Deletes the log if the name still holds the judged one. A changed log
  /// is left for the next run and a vanished one is gone either way: neither
  /// is a failure.
  void RemoveIfUnchanged() const;

 private:
  // Whether the name holds the judged log now; false when it is gone.
  bool AtTheName() const;

  FileIdentity judged_;
};

}  // namespace brinok

#endif  // BRINOK_RUN_JUDGED_LOG_H_
