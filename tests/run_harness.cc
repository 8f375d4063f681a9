#include "run_harness.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
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

bool TestingThroughCommand() {
  const char* command = std::getenv("BRINOK_TEST_COMMAND");
  return command != nullptr && *command != '\0';
}

bool TestingWindowsProgram() {
  const char* platform = std::getenv("BRINOK_TEST_PLATFORM");
  return platform != nullptr && std::string(platform) == "windows";
}

RunOutcome RunConverter(const ScratchDir& dir,
                        const RunConditions& conditions) {
  std::vector<std::string> words = CommandLine();
  if (conditions.unprivileged && ::geteuid() == 0) {
    // The directory and what is in it belong to the user, as the weather
    // program's files belong to the user the converter runs as.
    constexpr uid_t kNobody = 65534;
    std::vector<std::filesystem::path> paths = {dir.path()};
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
      paths.push_back(entry.path());
    }
    for (const auto& path : paths) {
      if (::lchown(path.c_str(), kNobody, kNobody) != 0) {
        throw std::runtime_error("lchown " + path.string());
      }
    }
    words.insert(words.begin(), {"setpriv", "--reuid=65534", "--regid=65534",
                                 "--clear-groups"});
  }
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
    if (conditions.umask) ::umask(*conditions.umask);
    if (conditions.address_space_limit) {
      const struct rlimit limit = {*conditions.address_space_limit,
                                   *conditions.address_space_limit};
      if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(126);
    }
    if (conditions.file_size_limit) {
      const struct rlimit limit = {*conditions.file_size_limit,
                                   *conditions.file_size_limit};
      // An ignored signal stays ignored across exec.
      if (::signal(SIGXFSZ, SIG_IGN) == SIG_ERR ||
          ::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
        ::_exit(126);
      }
    }
    if (::chdir(dir.path().c_str()) == 0) ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  RunOutcome outcome;
  ::waitpid(child, &status, 0);
  if (WIFEXITED(status)) outcome.exit_status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
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
