#include "run/judged_log.h"

#include "run/set_aside_log.h"
#include "run/station.h"
#include "runtime/line_reader.h"
#include "runtime/run_failure.h"

namespace brinok {

void JudgedLog::Require(const FileIdentity& opened) const {
  if (opened != identity_) throw RunFailure(FailureKind::kChanged);
}

void JudgedLog::Remember(const LineReader& log) {
  // The bytes judged are those read from the log's start, up to the
  // reader's first block of 64 KiB: a weather log of a few dozen bytes is
  // compared whole. A rejected log may be huge (the check reads it up to one
  // line past seven, or to its end when a line never ends), and keeping all
  // it read would take memory as big as the log. Past 64 KiB the file, size
  // and time still tell a change; one that kept all three and the first
  // 64 KiB would be a reading longer than that, which no weather program
  // writes.
  bytes_ = log.FirstBytes();
}

bool JudgedLog::DeleteIfJudged() const {
  SetAsideLog log;
  if (!log.found() || !log.Holds(identity_, bytes_)) return false;
  log.Delete();
  return true;
}

void JudgedLog::Remove() const {
  if (!DeleteIfJudged()) throw RunFailure(FailureKind::kChanged);
}

void JudgedLog::ReplaceWith(const char* name) {
  // The replacement is the run's own file, which nothing else changes.
  const FileIdentity replacement = IdentityAt(name);
  SetAsideLog log;
  if (!log.found() || !log.Holds(identity_, bytes_)) {
    throw RunFailure(FailureKind::kChanged);
  }
  // A log that came in the moment since it was set aside keeps the name,
  // and supersedes the judged one, which then goes.
  if (!RenameUnlessTaken(name, kWeatherLogName)) {
    throw RunFailure(FailureKind::kChanged);
  }
  // Only now that its copy holds the reading under the log's name.
  log.Delete();
  identity_ = replacement;
}

void JudgedLog::RemoveIfUnchanged() const { DeleteIfJudged(); }

}  // namespace brinok
