#include "run/judged_log.h"

#include <optional>

#include "run/station.h"
#include "runtime/run_failure.h"

namespace brinok {

bool JudgedLog::AtTheName() const {
  return IdentityIfExists(kWeatherLogName) == judged_;
}

void JudgedLog::Require(const FileIdentity& opened) const {
  if (opened != judged_) throw RunFailure(FailureKind::kChanged);
}

void JudgedLog::Remove() const {
  if (!AtTheName()) throw RunFailure(FailureKind::kChanged);
  // A log that vanishes right after the look fails the run here too.
  RemoveFile(kWeatherLogName);
}

void JudgedLog::ReplaceWith(const char* name) {
  // The replacement's identity first, so that the look at the log comes
  // right before the rename.
  const FileIdentity replacement = IdentityAt(name);
  if (!AtTheName()) throw RunFailure(FailureKind::kChanged);
  RenameReplacing(name, kWeatherLogName);
  judged_ = replacement;
}

void JudgedLog::RemoveIfUnchanged() const {
  if (AtTheName()) RemoveFileIfExists(kWeatherLogName);
}

}  // namespace brinok
