#include "run_harness.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace brinok::testing {
namespace {

std::vector<std::string> CommandLine() {
  const char* command = std::getenv("BRINOK_TEST_COMMAND");
  if (command == nullptr || *command == '\0') return {BRINOK_PROGRAM};
  std::vector<std::string> words;
  std::istringstream in(command);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

}  // namespace

bool TestingWindowsProgram() {
  const char* platform = std::getenv("BRINOK_TEST_PLATFORM");
  return platform != nullptr && std::string(platform) == "windows";
}

RunOutcome RunConverter(const ScratchDir& dir) {
  const std::vector<std::string> words = CommandLine();
  std::vector<char*> argv;
  for (const std::string& word : words)
    argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);

  int output[2];
  if (::pipe(output) != 0) throw std::runtime_error("pipe");
  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork");
  if (child == 0) {
    ::dup2(output[1], STDOUT_FILENO);
    ::dup2(output[1], STDERR_FILENO);
    ::close(output[0]);
    ::close(output[1]);
    // The alarm outlives exec and ends a run that hangs.
    ::alarm(kRunTimeoutSeconds);
    if (::chdir(dir.path().c_str()) == 0) ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(output[1]);
  RunOutcome outcome;
  char buffer[4096];
  for (ssize_t got; (got = ::read(output[0], buffer, sizeof buffer)) > 0;) {
    outcome.printed.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(output[0]);
  int status = 0;
  struct rusage usage = {};
  ::wait4(child, &status, 0, &usage);
  if (WIFEXITED(status)) outcome.exit_status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
  outcome.peak_rss_kib = usage.ru_maxrss;
  return outcome;
}

}  // namespace brinok::testing
