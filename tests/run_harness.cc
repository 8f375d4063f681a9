#include "run_harness.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
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

  // Output goes to an unlinked file rather than a pipe: a process the run
  // leaves behind (such as an emulator's server) may hold it open, and a
  // pipe would then never report its end.
  std::string output_path =
      (std::filesystem::temp_directory_path() / "brinok-output-XXXXXX")
          .string();
  const int output = ::mkstemp(output_path.data());
  if (output < 0) throw std::runtime_error("mkstemp");
  ::unlink(output_path.c_str());
  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork");
  if (child == 0) {
    ::dup2(output, STDOUT_FILENO);
    ::dup2(output, STDERR_FILENO);
    ::close(output);
    // The alarm outlives exec and ends a run that hangs.
    ::alarm(kRunTimeoutSeconds);
    if (::chdir(dir.path().c_str()) == 0) ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  RunOutcome outcome;
  struct rusage usage = {};
  ::wait4(child, &status, 0, &usage);
  if (WIFEXITED(status)) outcome.exit_status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
  outcome.peak_rss_kib = usage.ru_maxrss;
  char buffer[4096];
  for (ssize_t got;
       (got = ::pread(output, buffer, sizeof buffer,
                      static_cast<off_t>(outcome.printed.size()))) > 0;) {
    outcome.printed.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(output);
  return outcome;
}

}  // namespace brinok::testing
