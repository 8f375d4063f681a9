// Runs the built converter under strace and, one at a time, makes each file
// system call it makes fail once, fail from then on, or kill it, to show that
// no failure and no crash at any point leaves the directory worse than "the
// old report, and the log for the next run": the report is never missing or
// partial, the log goes only with the new report in place, and a clean
// rerun always ends with the new report alone.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "report_fixtures.h"
#include "run_harness.h"
#include "scratch_dir.h"

namespace brinok::testing {
namespace {

namespace fs = std::filesystem;
using CallCounts = std::map<std::string, int>;

// A valid log that its compaction changes (the last line gains its line
// end), so the log left by a failed run tells which of the two it is.
const std::string kOriginalLog =
    "270\r\n5\r\n12\r\n68.5\r\n0.12\r\n1013.2\r\n55";
const std::string kCompactedLog = kOriginalLog + "\r\n";

// File system calls under every name that C libraries and architectures give
// them; the trace of a normal run tells which of them this build makes.
constexpr std::string_view kFileCalls[] = {
    "open",       "openat",     "openat2",         "creat",      "read",
    "pread64",    "readv",      "preadv",          "preadv2",    "write",
    "pwrite64",   "writev",     "pwritev",         "pwritev2",   "fsync",
    "fdatasync",  "syncfs",     "sync_file_range", "close",      "close_range",
    "rename",     "renameat",   "renameat2",       "unlink",     "unlinkat",
    "stat",       "lstat",      "fstat",           "stat64",     "lstat64",
    "fstat64",    "newfstatat", "fstatat64",       "statx",      "lseek",
    "_llseek",    "ftruncate",  "ftruncate64",     "truncate",   "truncate64",
    "fallocate",  "access",     "faccessat",       "faccessat2", "readlink",
    "readlinkat", "fcntl",      "fcntl64",         "flock",      "getdents64",
    "link",       "linkat",     "symlink",         "symlinkat",  "mkdir",
    "mkdirat",    "chmod",      "fchmod",          "fchmodat",
};

// A run that takes longer than this under strace has hung.
constexpr auto kTracedRunTimeout = std::chrono::seconds(20);

enum class Mode { kFailOnce, kFailFromThenOn, kKill };

struct ModeCase {
  const char* name;
  Mode mode;
};

void PrintTo(const ModeCase& mode_case, std::ostream* out) {
  *out << mode_case.name;
}

std::string Injection(const std::string& call, int occurrence, Mode mode) {
  const std::string n = std::to_string(occurrence);
  switch (mode) {
    case Mode::kFailOnce:
      return "--inject=" + call + ":error=EIO:when=" + n;
    case Mode::kFailFromThenOn:
      return "--inject=" + call + ":error=ENOSPC:when=" + n + "+";
    case Mode::kKill:
      return "--inject=" + call + ":signal=SIGKILL:when=" + n;
  }
  return {};
}

std::string FindInPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path ? path : "/usr/bin:/bin");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    const std::string candidate = (fs::path(dir) / program).string();
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

std::string ReadWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Ended {
  int wait_status = 0;
  bool timed_out = false;
};

// Runs `argv` in `dir`, output discarded, in a process group of its own so
// that a run that hangs is ended together with everything it started.
// LeakSanitizer cannot work under ptrace, so a sanitized program is told not
// to try; the same environment serves the counting run and every injection.
Ended RunTraced(const std::vector<std::string>& argv, const fs::path& dir) {
  std::vector<char*> args;
  for (const std::string& word : argv) {
    args.push_back(const_cast<char*>(word.c_str()));
  }
  args.push_back(nullptr);
  const char* asan_options = std::getenv("ASAN_OPTIONS");
  const std::string options =
      std::string(asan_options ? asan_options : "") + ":detect_leaks=0";

  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork");
  if (child == 0) {
    ::setpgid(0, 0);
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, STDIN_FILENO);
    ::dup2(null, STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
    ::setenv("ASAN_OPTIONS", options.c_str(), 1);
    if (::chdir(dir.c_str()) == 0) ::execv(args[0], args.data());
    ::_exit(127);
  }
  ::setpgid(child, child);
  Ended ended;
  const auto deadline = std::chrono::steady_clock::now() + kTracedRunTimeout;
  while (::waitpid(child, &ended.wait_status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(-child, SIGKILL);
      ::waitpid(child, &ended.wait_status, 0);
      ended.timed_out = true;
      break;
    }
    const struct timespec pause = {0, 200'000};
    ::nanosleep(&pause, nullptr);
  }
  return ended;
}

// How often each file system call occurs in a trace written by strace -f.
CallCounts CountFileCalls(const std::string& trace) {
  CallCounts counts;
  std::istringstream lines(trace);
  for (std::string line; std::getline(lines, line);) {
    // Each line starts with the process id, then the call and its arguments;
    // resumed calls, signals and exits are not new calls.
    const std::size_t start = line.find_first_not_of("0123456789 ");
    if (start == std::string::npos) continue;
    const std::size_t paren = line.find('(', start);
    if (paren == std::string::npos) continue;
    const std::string name = line.substr(start, paren - start);
    for (std::string_view call : kFileCalls) {
      if (name == call) ++counts[name];
    }
  }
  return counts;
}

int Total(const CallCounts& counts) {
  int total = 0;
  for (const auto& [call, count] : counts) total += count;
  return total;
}

int CountOf(const CallCounts& counts,
            std::initializer_list<std::string_view> names) {
  int total = 0;
  for (std::string_view name : names) {
    const auto found = counts.find(std::string(name));
    if (found != counts.end()) total += found->second;
  }
  return total;
}

void WriteStartingState(const ScratchDir& dir) {
  dir.Write(kLog, kOriginalLog);
  dir.Write(kReport, kOldReport);
}

class FaultInjection : public ::testing::Test {
 protected:
  void SetUp() override {
    if (TestingWindowsProgram()) {
      GTEST_SKIP() << "traces the system calls of the POSIX program";
    }
    strace_ = FindInPath("strace");
    if (strace_.empty()) {
      const char* ci = std::getenv("CI");
      if (ci != nullptr && std::string(ci) == "true") {
        FAIL() << "strace is missing; CI must install it";
      }
      GTEST_SKIP() << "strace is not installed (apt-get install strace)";
    }
    // The counts come from the same program, tracer options and
    // environment as every injected run.
    ScratchDir dir;
    WriteStartingState(dir);
    const Ended ended = RunTraced(Command({}), dir.path());
    ASSERT_FALSE(ended.timed_out);
    ASSERT_TRUE(WIFEXITED(ended.wait_status) &&
                WEXITSTATUS(ended.wait_status) == 0)
        << "the traced normal run failed; can strace trace here (ptrace)?\n"
        << ReadWhole(TracePath());
    ASSERT_EQ(dir.Contents(), (Files{{kReport, kFirstExampleReport}}));
    counts_ = CountFileCalls(ReadWhole(TracePath()));
    // Without these the harness would inject into nothing that matters.
    ASSERT_GT(CountOf(counts_, {"open", "openat", "openat2"}), 0);
    ASSERT_GT(CountOf(counts_, {"read", "pread64", "readv"}), 0);
    ASSERT_GT(CountOf(counts_, {"write", "pwrite64", "writev"}), 0);
    ASSERT_GT(CountOf(counts_, {"fsync", "fdatasync"}), 0);
    ASSERT_GE(CountOf(counts_, {"rename", "renameat", "renameat2"}), 2);
    ASSERT_GT(CountOf(counts_, {"unlink", "unlinkat"}), 0);
  }

  fs::path TracePath() const { return traces_.path() / "trace"; }

  std::vector<std::string> Command(const std::string& injection) const {
    std::vector<std::string> argv = {strace_, "-f", "-qq", "-o",
                                     TracePath().string()};
    if (!injection.empty()) argv.push_back(injection);
    argv.push_back(BRINOK_PROGRAM);
    return argv;
  }

  // Runs one injected run from the starting state, checks what it left and
  // what a clean rerun makes of it. Returns whether the fault fired.
  bool ExercisePoint(const std::string& call, int occurrence, Mode mode) {
    const std::string injection = Injection(call, occurrence, mode);
    SCOPED_TRACE(injection);
    ScratchDir dir;
    WriteStartingState(dir);
    const Ended ended = RunTraced(Command(injection), dir.path());
    const std::string trace = ReadWhole(TracePath());
    EXPECT_FALSE(ended.timed_out) << "the run hung";
    const bool killed = WIFSIGNALED(ended.wait_status) &&
                        WTERMSIG(ended.wait_status) == SIGKILL;
    const bool fired =
        !ended.timed_out &&
        (mode == Mode::kKill
             ? killed || trace.find("killed by SIGKILL") != std::string::npos
             : trace.find("(INJECTED)") != std::string::npos);

    const Files after = dir.Contents();
    for (const auto& [name, bytes] : after) {
      EXPECT_TRUE(name == kLog || name == kScratch || name == kReport)
          << "left " << name;
    }
    const auto report = after.find(kReport);
    const auto log = after.find(kLog);
    const bool log_kept = log != after.end();
    if (report == after.end()) {
      ADD_FAILURE() << "the report is missing";
    } else {
      EXPECT_TRUE(report->second == kOldReport ||
                  report->second == kFirstExampleReport)
          << "the report is neither the old nor the new one:\n"
          << report->second;
      if (!log_kept) {
        EXPECT_EQ(report->second, kFirstExampleReport)
            << "the log is gone without the new report in place";
      }
    }
    if (log_kept) {
      EXPECT_TRUE(log->second == kOriginalLog || log->second == kCompactedLog)
          << "the log is neither the original nor its compaction:\n"
          << log->second;
    }
    // The sanitizers' runtime (sanitize preset) probes memory by writing to
    // a pipe of its own; a fault injected there fails one of its CHECKs, and
    // it then exits with status 0. That is the runtime ending the program,
    // not the program's normal end.
    const bool runtime_gave_up =
        trace.find(": CHECK failed: ") != std::string::npos;
    if (WIFEXITED(ended.wait_status) && WEXITSTATUS(ended.wait_status) == 0 &&
        !runtime_gave_up) {
      EXPECT_EQ(after, (Files{{kReport, kFirstExampleReport}}))
          << "exit status 0 without the normal end";
    }

    const RunOutcome rerun = RunConverter(dir);
    EXPECT_EQ(rerun.exit_status, log_kept ? 0 : 3) << "on the clean rerun";
    EXPECT_EQ(dir.Contents(), (Files{{kReport, kFirstExampleReport}}))
        << "after the clean rerun";
    return fired;
  }

  std::string strace_;
  ScratchDir traces_;
  CallCounts counts_;
};

TEST_F(FaultInjection, NormalRunMakesTheFileCallsThatAreInjected) {
  std::printf("file system calls of a normal run:");
  for (const auto& [call, count] : counts_) {
    std::printf(" %s %d", call.c_str(), count);
  }
  std::printf(" (%d in all)\n", Total(counts_));
  RecordProperty("file_calls", Total(counts_));
  // The run's own calls, whatever the program loader adds: the log opened
  // three times, the scratch file twice, the report and the directory once;
  // two renames and one deletion.
  EXPECT_GE(CountOf(counts_, {"open", "openat", "openat2"}), 7);
  EXPECT_EQ(CountOf(counts_, {"rename", "renameat", "renameat2"}), 2);
  EXPECT_EQ(CountOf(counts_, {"unlink", "unlinkat"}), 1);
}

class EveryFileCall : public FaultInjection,
                      public ::testing::WithParamInterface<ModeCase> {};

TEST_P(EveryFileCall, LeavesADirectoryTheNextRunRecovers) {
  const ModeCase& mode_case = GetParam();
  int exercised = 0;
  int not_fired = 0;
  for (const auto& [call, count] : counts_) {
    for (int occurrence = 1; occurrence <= count; ++occurrence) {
      // One more try, in case a runtime's start-up varied its calls; a
      // point that does not fire then fails the test.
      if (ExercisePoint(call, occurrence, mode_case.mode) ||
          ExercisePoint(call, occurrence, mode_case.mode)) {
        ++exercised;
      } else {
        ++not_fired;
        ADD_FAILURE() << Injection(call, occurrence, mode_case.mode)
                      << " did not fire";
      }
    }
  }
  std::printf("fault injection (%s): %d fault points exercised\n",
              mode_case.name, exercised);
  RecordProperty("fault_points", exercised);
  EXPECT_EQ(not_fired, 0) << "fault points that did not fire";
  EXPECT_EQ(exercised, Total(counts_));
}

INSTANTIATE_TEST_SUITE_P(
    Modes, EveryFileCall,
    ::testing::Values(ModeCase{"FailsOnceWithEIO", Mode::kFailOnce},
                      ModeCase{"FailsFromThenOnWithENOSPC",
                               Mode::kFailFromThenOn},
                      ModeCase{"KilledBySIGKILL", Mode::kKill}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace brinok::testing
