#ifndef BRINOK_TESTS_RUN_HARNESS_H_
#define BRINOK_TESTS_RUN_HARNESS_H_

#include <sys/types.h>

#include <optional>
#include <string>

#include "scratch_dir.h"

namespace brinok::testing {

/// How long one run may take before RunConverter ends it.
inline constexpr unsigned kRunTimeoutSeconds = 60;

/// What one run of the converter did.
struct RunOutcome {
  int exit_status = -1;  // -1 when it did not exit normally
  int signal = 0;        // the signal that ended it, if one did
  std::string printed;   // everything it wrote to stdout and stderr
};

/// The conditions of one run besides its directory.
struct RunConditions {
  /// A cap on the run's address space, in bytes (RLIMIT_AS).
  std::optional<unsigned long> address_space_limit;
  /// The umask the run starts with.
  std::optional<mode_t> umask;
  /// Run as an unprivileged user: as root, the directory and its entries are
  /// given to nobody and the run made as nobody (with setpriv); otherwise as
  /// the user who runs the tests, who is unprivileged already.
  bool unprivileged = false;
  /// A cap on the size of every file the run writes, in bytes (RLIMIT_FSIZE),
  /// with SIGXFSZ ignored: a write that would pass it writes what fits and
  /// the next one fails, as on a full disk.
  std::optional<unsigned long> file_size_limit;
};

/// Runs the converter once with `dir` as its current directory: the built
/// program, or the command line in BRINOK_TEST_COMMAND. A run that has not
/// ended after kRunTimeoutSeconds is ended by SIGALRM, so a hanging run fails
/// its test instead of stalling the suite.
RunOutcome RunConverter(const ScratchDir& dir,
                        const RunConditions& conditions = {});

/// True when the program under test is the Windows build (BRINOK_TEST_PLATFORM
/// is "windows").
bool TestingWindowsProgram();

/// True when the program runs behind another program (BRINOK_TEST_COMMAND,
/// such as Wine or an emulator), whose own memory needs differ from it.
bool TestingThroughCommand();

}  // namespace brinok::testing

#endif  // BRINOK_TESTS_RUN_HARNESS_H_
