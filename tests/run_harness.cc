#include "run_harness.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>

namespace brinok::testing {

const std::vector<std::string>& TestCommand() {
  static const std::vector<std::string> words = [] {
    std::vector<std::string> split;
    const char* command = std::getenv("BRINOK_TEST_COMMAND");
    std::istringstream in(command != nullptr ? command : "");
    for (std::string word; in >> word;) split.push_back(word);
    return split;
  }();
  return words;
}

std::vector<std::string> ProgramCommand() {
  if (TestingThroughCommand()) return TestCommand();
  return {BRINOK_PROGRAM};
}

bool TestingWindowsProgram() {
  const char* platform = std::getenv("BRINOK_TEST_PLATFORM");
  return platform != nullptr && std::string(platform) == "windows";
}

RunOutcome RunConverter(const ScratchDir& dir,
                        const RunConditions& conditions) {
  std::vector<std::string> words = ProgramCommand();
  if (conditions.unprivileged && ::geteuid() == 0) {
    // The directory and what is in it belong to the user, as the weather
    // program's files belong to the user the converter runs as.
    constexpr uid_t kNobody = 65534;
    std::vector<std::filesystem::path> paths = {dir.path()};
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
      if (std::find(conditions.left_by_root.begin(),
                    conditions.left_by_root.end(),
                    entry.path().filename()) == conditions.left_by_root.end()) {
        paths.push_back(entry.path());
      }
    }
    for (const auto& path : paths) {
      if (::lchown(path.c_str(), kNobody, kNobody) != 0) {
        throw std::runtime_error("lchown " + path.string());
      }
    }
    words.insert(words.begin(), {"setpriv", "--reuid=65534", "--regid=65534",
                                 "--clear-groups"});
  }
  const auto set_up = [&] {
    if (conditions.umask) ::umask(*conditions.umask);
    if (conditions.address_space_limit) {
      const struct rlimit limit = {*conditions.address_space_limit,
                                   *conditions.address_space_limit};
      if (::setrlimit(RLIMIT_AS, &limit) != 0) return false;
    }
    if (conditions.file_size_limit) {
      const struct rlimit limit = {*conditions.file_size_limit,
                                   *conditions.file_size_limit};
      // An ignored signal stays ignored across exec.
      if (::signal(SIGXFSZ, SIG_IGN) == SIG_ERR ||
          ::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
        return false;
      }
    }
    return true;
  };
  ChildOptions options;
  options.dir = dir.path();
  options.time_limit = kRunTimeout;
  options.set_up = set_up;
  return ChildProcess(words, options).Wait();
}

}  // namespace brinok::testing
