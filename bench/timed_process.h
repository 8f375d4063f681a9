#ifndef BRINOK_BENCH_TIMED_PROCESS_H_
#define BRINOK_BENCH_TIMED_PROCESS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace brinok::bench {

/// How one run of a program went.
struct Outcome {
  int exit_status = -1;          // -1 when it did not exit normally
  std::int64_t nanoseconds = 0;  // from before the spawn to after the wait
};

/// Runs `command` (a program path or a name looked up in PATH, then its
/// arguments) in the current directory, with standard output sent to
/// `stdout_path` (or inherited when it is empty), and waits for it. The time
/// taken covers the spawn, the run and the wait, nothing else. Throws
/// std::runtime_error when the program cannot be started.
Outcome RunTimed(const std::vector<std::string>& command,
                 const std::string& stdout_path = "");

/// Runs `command` like RunTimed, untimed, and returns the most memory the
/// program itself held resident (VmHWM, read as it exits), in KiB. Unlike
/// ru_maxrss this leaves out the pages of the process that started it.
/// Returns nothing when the program cannot be traced to its exit (no ptrace
/// in this environment, or it cannot be started).
std::optional<long> PeakResidentKib(const std::vector<std::string>& command,
                                    const std::string& stdout_path = "");

/// The full path of `name` found in PATH, or an empty string.
std::string FindInPath(const std::string& name);

}  // namespace brinok::bench

#endif  // BRINOK_BENCH_TIMED_PROCESS_H_
