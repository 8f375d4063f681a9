#ifndef BRINOK_TESTS_RUN_HARNESS_H_
#define BRINOK_TESTS_RUN_HARNESS_H_

#include <string>

#include "scratch_dir.h"

namespace brinok::testing {

/// What one run of the converter did.
struct RunOutcome {
  int exit_status = -1;  // -1 when it did not exit normally
  std::string printed;   // everything it wrote to stdout and stderr
};

/// Runs the converter once with `dir` as its current directory: the built
/// program, or the command line in BRINOK_TEST_COMMAND.
RunOutcome RunConverter(const ScratchDir& dir);

/// True when the program under test is the Windows build (BRINOK_TEST_PLATFORM
/// is "windows").
bool TestingWindowsProgram();

}  // namespace brinok::testing

#endif  // BRINOK_TESTS_RUN_HARNESS_H_
