#ifndef BRINOK_RUN_SET_ASIDE_LOG_H_
#define BRINOK_RUN_SET_ASIDE_LOG_H_

#include <optional>
#include <string_view>

#include "runtime/file.h"

namespace brinok {

/// The file at the weather log's name, moved to the run's own name
/// (kSetAsideName) to be looked at and deleted there. A weather program that
/// writes the log by its name then makes a new log, which this never
/// touches; on Windows one that holds the file open cannot write to it
/// either from the look to the deletion. Unless it was deleted, the file
/// goes back when the object goes (the run failed, or the file was not the
/// one to delete), as RestoreSetAsideLog puts it back.
class SetAsideLog {
 public:
  /// Moves the file at the log's name aside; found() tells whether there was
  /// one. Raises RunFailure when it cannot be moved.
  SetAsideLog();
  /// Puts the file back unless it was deleted. Silent: the run has failed
  /// already, or goes on without the file; what cannot be put back now, the
  /// next run puts back.
  ~SetAsideLog();
  SetAsideLog(const SetAsideLog&) = delete;
  SetAsideLog& operator=(const SetAsideLog&) = delete;

  /// Whether there was a file at the log's name to set aside.
  bool found() const { return found_; }
  /// Whether the file set aside is the one `identity` names, as it was then,
  /// and starts with `bytes`: its identity is compared first, then its bytes
  /// read. From here to the deletion it is held (Windows). Raises RunFailure
  /// when it cannot be opened (anything but a regular file; on Windows also
  /// while another program has it open for writing) or read.
  bool Holds(const FileIdentity& identity, std::string_view bytes);
  /// Deletes the file that Holds looked at. Raises RunFailure when it cannot;
  /// the file is then put back.
  void Delete();

 private:
  bool found_ = false;
  bool deleted_ = false;
  std::optional<File> held_;
};

/// Puts a log that a killed run had set aside back under the log's name; a
/// newer log at that name supersedes it, and it is deleted instead, as the
/// weather program's next log would have replaced it. Does nothing when
/// nothing is set aside. Anything but a regular file at the name set aside
/// raises RunFailure and is left as it was.
void RestoreSetAsideLog();

}  // namespace brinok

#endif  // BRINOK_RUN_SET_ASIDE_LOG_H_
