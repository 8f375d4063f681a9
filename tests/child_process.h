#ifndef BRINOK_TESTS_CHILD_PROCESS_H_
#define BRINOK_TESTS_CHILD_PROCESS_H_

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace brinok::testing {

/// How a program that a test ran ended.
struct RunOutcome {
  int exit_status = -1;    // -1 when it did not exit normally
  int signal = 0;          // the signal that ended it, if one did
  bool timed_out = false;  // ended by SIGKILL at its time limit
  std::string printed;     // everything it wrote to stdout and stderr
};

/// What a ChildProcess starts with besides its command line.
struct ChildOptions {
  /// The current directory of the program.
  std::filesystem::path dir;
  /// The program and everything it started are killed once this has passed,
  /// so that a hanging run fails its test instead of stalling the suite.
  std::chrono::milliseconds time_limit = std::chrono::seconds(60);
  /// Called in the child before the program is started (limits, umask,
  /// environment); false ends the child with status 126.
  std::function<bool()> set_up;
  /// When given, the program is traced (ptrace) from its start, and each of
  /// its stops is handed here with its wait status; the tracer resumes it.
  std::function<void(pid_t pid, int wait_status)> tracer;
};

/// A program started by a test, in a process group of its own: words[0],
/// looked up in PATH, with the other words as its arguments. Its standard
/// output and error go to an unlinked file rather than a pipe (a process it
/// leaves behind, such as an emulator's server, may hold them open, and a
/// pipe would then never report its end); its standard input is a pipe that
/// stays open until EndInput or Wait.
class ChildProcess {
 public:
  ChildProcess(const std::vector<std::string>& words, ChildOptions options);
  /// Kills what is still running and reaps it.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  /// Everything the program has written to stdout and stderr so far.
  std::string Printed() const;
  /// Closes the program's standard input: it reads its end.
  void EndInput();
  /// Calls `condition` while the program runs, for at most `limit`; true
  /// once it has returned true.
  bool WaitFor(const std::function<bool()>& condition,
               std::chrono::milliseconds limit);
  /// Ends the input and waits for the program to end, killing it and
  /// everything in its group at the time limit. `meanwhile`, if given, is
  /// called while the run goes on until it returns true.
  RunOutcome Wait(const std::function<bool()>& meanwhile = {});
  /// Kills the program and everything in its group at once.
  void Kill();

 private:
  // True once the program has ended; hands a traced program's stops to the
  // tracer.
  bool Ended();

  ChildOptions options_;
  std::chrono::steady_clock::time_point deadline_;
  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  bool ended_ = false;
  RunOutcome outcome_;
};

}  // namespace brinok::testing

#endif  // BRINOK_TESTS_CHILD_PROCESS_H_
