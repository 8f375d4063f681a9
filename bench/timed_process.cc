#include "timed_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <stdexcept>
#include <string_view>

extern char** environ;

namespace brinok::bench {
namespace {

std::int64_t Now() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

// Owns the spawn attributes so that every way out releases them.
class FileActions {
 public:
  FileActions() { posix_spawn_file_actions_init(&actions_); }
  ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

std::vector<char*> Argv(const std::vector<std::string>& command) {
  std::vector<char*> argv;
  for (const std::string& word : command) {
    argv.push_back(const_cast<char*>(word.c_str()));
  }
  argv.push_back(nullptr);
  return argv;
}

// The high-water mark of resident memory of a live process, in KiB.
std::optional<long> HighWaterKib(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string key;
  while (status >> key) {
    if (key == "VmHWM:") {
      long kib = 0;
      if (status >> kib) return kib;
      return std::nullopt;
    }
    status.ignore(1 << 16, '\n');
  }
  return std::nullopt;
}

void WaitFor(pid_t pid, int* status) {
  while (waitpid(pid, status, 0) < 0) {
    if (errno != EINTR) throw std::runtime_error("waitpid failed");
  }
}

}  // namespace

Outcome RunTimed(const std::vector<std::string>& command,
                 const std::string& stdout_path) {
  std::vector<char*> argv = Argv(command);
  FileActions actions;
  if (!stdout_path.empty()) {
    posix_spawn_file_actions_addopen(actions.get(), STDOUT_FILENO,
                                     stdout_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }

  // Only the spawn, the run and the wait lie between the two clock readings;
  // posix_spawn uses vfork, so no copy of this process is made first.
  Outcome outcome;
  const std::int64_t start = Now();
  pid_t pid;
  const int error =
      posix_spawnp(&pid, argv[0], actions.get(), nullptr, argv.data(), environ);
  if (error != 0) {
    throw std::runtime_error("cannot start " + command[0] + ": " +
                             std::strerror(error));
  }
  int status = 0;
  WaitFor(pid, &status);
  outcome.nanoseconds = Now() - start;
  outcome.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

std::optional<long> PeakResidentKib(const std::vector<std::string>& command,
                                    const std::string& stdout_path) {
  std::vector<char*> argv = Argv(command);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (!stdout_path.empty()) {
      const int fd =
          open(stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0 || dup2(fd, STDOUT_FILENO) < 0) _exit(127);
    }
    // The program stops at its exec and again as it exits, while its memory
    // still exists.
    ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  WaitFor(pid, &status);
  if (!WIFSTOPPED(status)) return std::nullopt;  // not traced: it ran through
  ptrace(PTRACE_SETOPTIONS, pid, nullptr,
         reinterpret_cast<void*>(PTRACE_O_TRACEEXIT | PTRACE_O_EXITKILL));
  ptrace(PTRACE_CONT, pid, nullptr, nullptr);
  std::optional<long> peak;
  for (;;) {
    WaitFor(pid, &status);
    if (!WIFSTOPPED(status)) break;
    long signal = WSTOPSIG(status);
    if (status >> 8 == (SIGTRAP | (PTRACE_EVENT_EXIT << 8))) {
      peak = HighWaterKib(pid);
      signal = 0;
    }
    ptrace(PTRACE_CONT, pid, nullptr, reinterpret_cast<void*>(signal));
  }
  return peak;
}

std::string FindInPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string_view rest = path ? path : "/usr/bin:/bin";
  while (!rest.empty()) {
    const std::size_t colon = rest.find(':');
    const std::string_view dir = rest.substr(0, colon);
    rest = colon == std::string_view::npos ? "" : rest.substr(colon + 1);
    if (dir.empty()) continue;
    std::string candidate = std::string(dir) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

}  // namespace brinok::bench
