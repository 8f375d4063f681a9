#ifndef BRINOK_RUN_CONVERSION_RUN_H_
#define BRINOK_RUN_CONVERSION_RUN_H_

namespace brinok {

/// How a run ended, as the process exit status.
enum class ExitStatus {
  kPublished = 0,  // a new report was published; the log deleted unless
                   // it was rewritten during the run
  kFailed = 1,     // a run failure ended the run
  kRejected = 2,   // the log did not have seven lines and was deleted
  kNoLog = 3,      // there was no weather log; nothing changed but an empty
                   // lock file, where the log went right after the first look
};

/// Makes one conversion run in the current directory. Never throws and never
/// prints: every run failure is caught here, once.
ExitStatus RunConversion() noexcept;

}  // namespace brinok

#endif  // BRINOK_RUN_CONVERSION_RUN_H_
