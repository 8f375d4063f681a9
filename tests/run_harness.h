#ifndef BRINOK_TESTS_RUN_HARNESS_H_
#define BRINOK_TESTS_RUN_HARNESS_H_

#include <string>

#include "scratch_dir.h"

namespace brinok::testing {

/// How long one run may take before RunConverter ends it.
inline constexpr unsigned kRunTimeoutSeconds = 60;

/// What one run of the converter did.
struct RunOutcome {
  int exit_status = -1;   // -1 when it did not exit normally
  int signal = 0;         // the signal that ended it, if one did
  long peak_rss_kib = 0;  // its peak resident set size (ru_maxrss)
  std::string printed;    // everything it wrote to stdout and stderr
};

/// Runs the converter once with `dir` as its current directory: the built
/// program, or the command line in BRINOK_TEST_COMMAND. A run that has not
/// ended after kRunTimeoutSeconds is ended by SIGALRM, so a hanging run fails
/// its test instead of stalling the suite.
RunOutcome RunConverter(const ScratchDir& dir);

/// True when the program under test is the Windows build (BRINOK_TEST_PLATFORM
/// is "windows").
bool TestingWindowsProgram();

}  // namespace brinok::testing

#endif  // BRINOK_TESTS_RUN_HARNESS_H_
