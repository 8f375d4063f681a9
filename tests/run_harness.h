#ifndef BRINOK_TESTS_RUN_HARNESS_H_
#define BRINOK_TESTS_RUN_HARNESS_H_

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"
#include "scratch_dir.h"

namespace brinok::testing {

/// How long one run may take before RunConverter ends it.
inline constexpr std::chrono::seconds kRunTimeout{60};

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
  /// Entries that stay root's when an unprivileged run is made as root:
  /// files that another account left in the folder.
  std::vector<std::string> left_by_root;
  /// A cap on the size of every file the run writes, in bytes (RLIMIT_FSIZE),
  /// with SIGXFSZ ignored: a write that would pass it writes what fits and
  /// the next one fails, as on a full disk.
  std::optional<unsigned long> file_size_limit;
};

/// Runs the converter once with `dir` as its current directory: the command
/// of ProgramCommand. A run that has not ended after kRunTimeout is killed.
RunOutcome RunConverter(const ScratchDir& dir,
                        const RunConditions& conditions = {});

/// The words of BRINOK_TEST_COMMAND, a command line of words separated by
/// spaces that runs another program in place of the built one (such as
/// Wine or an emulator in front of a cross-built program); empty when unset.
const std::vector<std::string>& TestCommand();

/// The command that runs the converter: TestCommand, or the built program.
std::vector<std::string> ProgramCommand();

/// True when the program under test is the Windows build (BRINOK_TEST_PLATFORM
/// is "windows").
bool TestingWindowsProgram();

/// True when the program runs behind another program (TestCommand), whose
/// own memory needs differ from it.
inline bool TestingThroughCommand() { return !TestCommand().empty(); }

}  // namespace brinok::testing

#endif  // BRINOK_TESTS_RUN_HARNESS_H_
