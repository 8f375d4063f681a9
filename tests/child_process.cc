#include "child_process.h"

#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/ptrace.h>
#endif

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace brinok::testing {

ChildProcess::ChildProcess(const std::vector<std::string>& words,
                           ChildOptions options)
    : options_(std::move(options)),
      deadline_(std::chrono::steady_clock::now() + options_.time_limit) {
  std::vector<char*> argv;
  for (const std::string& word : words) {
    argv.push_back(const_cast<char*>(word.c_str()));
  }
  argv.push_back(nullptr);
  std::string output_path =
      (std::filesystem::temp_directory_path() / "brinok-output-XXXXXX")
          .string();
  output_ = ::mkstemp(output_path.data());
  if (output_ < 0) throw std::runtime_error("mkstemp");
  ::unlink(output_path.c_str());
  int input[2];
  if (::pipe(input) != 0) throw std::runtime_error("pipe");
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork");
  if (pid_ == 0) {
    ::setpgid(0, 0);
    ::dup2(input[0], STDIN_FILENO);
    ::dup2(output_, STDOUT_FILENO);
    ::dup2(output_, STDERR_FILENO);
    for (int fd : {input[0], input[1], output_}) ::close(fd);
    if (options_.set_up && !options_.set_up()) ::_exit(126);
    if (options_.tracer) {
#if defined(__linux__)
      ::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
#else
      ::_exit(126);
#endif
    }
    if (::chdir(options_.dir.c_str()) == 0) ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  // Set here too, so that the group exists whichever of the two runs first.
  ::setpgid(pid_, pid_);
  ::close(input[0]);
  input_ = input[1];
}

ChildProcess::~ChildProcess() {
  Kill();
  EndInput();
  ::close(output_);
}

std::string ChildProcess::Printed() const {
  std::string printed;
  char buffer[4096];
  for (ssize_t got; (got = ::pread(output_, buffer, sizeof buffer,
                                   static_cast<off_t>(printed.size()))) > 0;) {
    printed.append(buffer, static_cast<std::size_t>(got));
  }
  return printed;
}

void ChildProcess::EndInput() {
  if (input_ >= 0) ::close(input_);
  input_ = -1;
}

bool ChildProcess::Ended() {
  if (ended_) return true;
  int status = 0;
  const pid_t got = ::waitpid(pid_, &status, WNOHANG);
  if (got == 0) return false;
  if (got == pid_ && WIFSTOPPED(status)) {
    options_.tracer(pid_, status);
    return false;
  }
  ended_ = true;
  if (got == pid_ && WIFEXITED(status)) {
    outcome_.exit_status = WEXITSTATUS(status);
  }
  if (got == pid_ && WIFSIGNALED(status)) outcome_.signal = WTERMSIG(status);
  return true;
}

bool ChildProcess::WaitFor(const std::function<bool()>& condition,
                           std::chrono::milliseconds limit) {
  const auto until =
      std::min(deadline_, std::chrono::steady_clock::now() + limit);
  while (!Ended()) {
    if (condition && condition()) return true;
    if (std::chrono::steady_clock::now() >= until) return false;
    const struct timespec pause = {0, 200'000};
    ::nanosleep(&pause, nullptr);
  }
  return false;
}

RunOutcome ChildProcess::Wait(const std::function<bool()>& meanwhile) {
  EndInput();
  const auto left = [&] {
    return std::chrono::ceil<std::chrono::milliseconds>(
        deadline_ - std::chrono::steady_clock::now());
  };
  if (meanwhile) WaitFor(meanwhile, left());
  WaitFor({}, left());
  if (!ended_) {
    Kill();
    outcome_.timed_out = true;
  }
  outcome_.printed = Printed();
  return outcome_;
}

void ChildProcess::Kill() {
  if (ended_) return;
  ::kill(-pid_, SIGKILL);
  int status = 0;
  while (::waitpid(pid_, &status, 0) == pid_ && WIFSTOPPED(status)) {
  }
  ended_ = true;
  if (WIFSIGNALED(status)) outcome_.signal = WTERMSIG(status);
}

}  // namespace brinok::testing
