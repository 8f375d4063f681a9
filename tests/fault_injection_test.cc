// Runs the built converter under strace and, one at a time, makes each file
// system call it makes fail once, fail from then on, fail as if a file had
// vanished, or kill it, to show that no failure and no crash at any point
// leaves the directory worse than "the old report, and the log for the next
// run": the report is never missing or partial, the log goes only with the
// new report in place, a failure ends the run quietly with status 1, and a
// clean rerun always ends with the new report alone. The trace of a normal
// run also shows that everything is forced to disk before it is relied on,
// and slowed runs show that a log the weather program writes meanwhile is
// never lost.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
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
// A log that the check rejects.
const std::string kRejectedLog = "270\r\n5\r\n";
// The log's modification time, which a kept log and the report keep: set
// rather than left to the clock.
const fs::file_time_type kLogWritten = std::chrono::file_clock::from_sys(
    std::chrono::sys_time<std::chrono::nanoseconds>{
        std::chrono::sys_days{std::chrono::May / 5 / 2009}} +
    std::chrono::hours{12});

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
    "mkdirat",    "chmod",      "fchmod",          "fchmodat",   "utimensat",
};

// Calls that take a file name, and so can find it missing.
constexpr std::string_view kNameCalls[] = {
    "open",       "openat",     "openat2",    "creat", "rename", "renameat",
    "renameat2",  "unlink",     "unlinkat",   "stat",  "lstat",  "stat64",
    "lstat64",    "newfstatat", "fstatat64",  "statx", "access", "faccessat",
    "faccessat2", "readlink",   "readlinkat",
};

// A run that takes longer than this under strace has hung.
constexpr auto kTracedRunTimeout = std::chrono::seconds(20);

enum class Mode { kFailOnce, kFailFromThenOn, kFailOnceMissing, kKill };

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
    case Mode::kFailOnceMissing:
      return "--inject=" + call + ":error=ENOENT:when=" + n;
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

// LeakSanitizer cannot work under ptrace, so a sanitized program is told not
// to try; the same environment serves the counting run and every injection.
bool WithoutLeakCheck() {
  const char* asan_options = std::getenv("ASAN_OPTIONS");
  const std::string options =
      std::string(asan_options ? asan_options : "") + ":detect_leaks=0";
  return ::setenv("ASAN_OPTIONS", options.c_str(), 1) == 0;
}

// Runs `argv` in `dir`; `meanwhile`, if given, is called while the run goes
// on until it returns true.
RunOutcome RunTraced(const std::vector<std::string>& argv, const fs::path& dir,
                     const std::function<bool()>& meanwhile = {}) {
  ChildOptions options;
  options.dir = dir;
  options.time_limit = kTracedRunTimeout;
  options.set_up = WithoutLeakCheck;
  return ChildProcess(argv, options).Wait(meanwhile);
}

// Calls `visit` with the name and the arguments of each system call in a
// trace written by strace -f, in order.
void ForEachCall(
    const std::string& trace,
    const std::function<void(const std::string&, std::string_view)>& visit) {
  std::istringstream lines(trace);
  for (std::string line; std::getline(lines, line);) {
    // Each line starts with the process id, then the call and its arguments;
    // resumed calls, signals and exits are not new calls.
    const std::size_t start = line.find_first_not_of("0123456789 ");
    if (start == std::string::npos) continue;
    const std::size_t paren = line.find('(', start);
    if (paren == std::string::npos) continue;
    visit(line.substr(start, paren - start),
          std::string_view(line).substr(paren + 1));
  }
}

// How often each file system call occurs in a trace.
CallCounts CountFileCalls(const std::string& trace) {
  CallCounts counts;
  ForEachCall(trace, [&](const std::string& name, std::string_view) {
    for (std::string_view call : kFileCalls) {
      if (name == call) ++counts[name];
    }
  });
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

// One call of a trace that the run's file effects are made of, such as
// "write SWP.TXT", "fsync folder" or "rename SWP.TXT BRINOK.TXT", with the
// occurrence of its system call that it was.
struct FileEffect {
  std::string what;
  std::string call;
  int occurrence = 0;
};

// The first argument of a call on a descriptor, as strace -y shows it:
// "4</tmp/dir/SWP.TXT>" gives "/tmp/dir/SWP.TXT".
std::string DescriptorPath(std::string_view arguments) {
  const std::size_t open = arguments.find('<');
  const std::size_t close = arguments.find('>');
  if (open == std::string_view::npos || close == std::string_view::npos ||
      close < open || arguments.find(',') < open) {
    return {};
  }
  return std::string(arguments.substr(open + 1, close - open - 1));
}

// The quoted strings among a call's arguments: the names it takes.
std::vector<std::string> QuotedNames(std::string_view arguments) {
  std::vector<std::string> names;
  for (std::size_t start = arguments.find('"');
       start != std::string_view::npos;) {
    const std::size_t end = arguments.find('"', start + 1);
    if (end == std::string_view::npos) break;
    names.emplace_back(arguments.substr(start + 1, end - start - 1));
    start = arguments.find('"', end + 1);
  }
  return names;
}

// The locks taken, reads, writes, times set, syncs, closes, opens, stats,
// renames and deletions of the station's files and the folder in a trace
// written by strace -f -y, in order. A call still going on (the trace's last
// line, unfinished) counts too.
std::vector<FileEffect> FileEffects(const std::string& trace,
                                    const std::string& folder) {
  const auto kind = [](const std::string& call) -> std::string {
    if (call == "close") return call;
    if (call.find("stat") != std::string::npos) return "stat";
    if (call == "read" || call == "readv" || call.starts_with("pread")) {
      return "read";
    }
    if (call == "utimensat") return "time";
    if (call == "flock") return call;
    for (std::string_view prefix : {"write", "pwrite", "fsync", "fdatasync",
                                    "open", "rename", "unlink"}) {
      if (call.starts_with(prefix)) {
        if (prefix == "pwrite") return "write";
        if (prefix == "fdatasync") return "fsync";
        return std::string(prefix);
      }
    }
    return {};
  };
  std::vector<FileEffect> effects;
  CallCounts seen;
  ForEachCall(trace, [&](const std::string& call, std::string_view arguments) {
    const int occurrence = ++seen[call];
    const std::string what = kind(call);
    std::string target;
    // A stat names its file, or takes an open one ("" as its name).
    const std::vector<std::string> stat_names =
        what == "stat" ? QuotedNames(arguments) : std::vector<std::string>{};
    if (what == "stat" && !stat_names.empty() && !stat_names[0].empty()) {
      target = stat_names[0];
    } else if (what == "write" || what == "time" || what == "fsync" ||
               what == "read" || what == "close" || what == "stat" ||
               what == "flock") {
      const std::string path = DescriptorPath(arguments);
      target = path == folder ? "folder" : fs::path(path).filename().string();
    } else if (what == "open" || what == "unlink" || what == "rename") {
      std::vector<std::string> names = QuotedNames(arguments);
      if (what != "rename" && !names.empty()) names.resize(1);
      for (std::string& name : names) {
        if (name == ".") name = "folder";
        target += (target.empty() ? "" : " ") + name;
      }
    }
    const bool ours =
        target.starts_with(kLog) || target.starts_with(kScratch) ||
        target.starts_with(kReport) || target.starts_with(kLock) ||
        target.starts_with(kSetAside) || target == "folder";
    if (ours) effects.push_back({what + " " + target, call, occurrence});
  });
  return effects;
}

void WriteStartingState(const ScratchDir& dir,
                        const std::string& log = kOriginalLog) {
  dir.Write(kLog, log);
  fs::last_write_time(dir / kLog, kLogWritten);
  dir.Write(kReport, kOldReport);
}

class FaultInjection : public ::testing::Test {
 protected:
  void SetUp() override {
    if (TestingWindowsProgram()) {
      GTEST_SKIP() << "traces the system calls of the POSIX program";
    }
    if (TestingThroughCommand()) {
      GTEST_SKIP() << "traces the program itself, not a program in front of "
                      "it (an emulator's calls are not the program's)";
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
    const RunOutcome ended = RunTraced(Command({}), dir.path());
    ASSERT_FALSE(ended.timed_out);
    ASSERT_EQ(ended.exit_status, 0)
        << "the traced normal run failed; can strace trace here (ptrace)?\n"
        << ReadWhole(TracePath());
    ASSERT_EQ(dir.Contents(), (Files{{kReport, kFirstExampleReport}}));
    const std::string trace = ReadWhole(TracePath());
    counts_ = CountFileCalls(trace);
    effects_ = FileEffects(trace, dir.path().string());
    // Calls before the run opens the log are the program's start-up (the
    // loader's, the C and C++ runtimes'): a fault there may stop the
    // program before it starts, with the loader's own message and status.
    const std::size_t first_own = trace.find(std::string("\"") + kLog + '"');
    ASSERT_NE(first_own, std::string::npos);
    start_up_ = CountFileCalls(trace.substr(0, trace.rfind('\n', first_own)));
    // Without these the harness would inject into nothing that matters.
    ASSERT_GT(CountOf(counts_, {"open", "openat", "openat2"}), 0);
    ASSERT_GT(CountOf(counts_, {"read", "pread64", "readv"}), 0);
    ASSERT_GT(CountOf(counts_, {"write", "pwrite64", "writev"}), 0);
    ASSERT_GT(CountOf(counts_, {"fsync", "fdatasync"}), 0);
    ASSERT_GE(CountOf(counts_, {"rename", "renameat", "renameat2"}), 2);
    ASSERT_GT(CountOf(counts_, {"unlink", "unlinkat"}), 0);
  }

  fs::path TracePath() const { return traces_.path() / "trace"; }

  std::vector<std::string> Command(
      const std::vector<std::string>& injections) const {
    std::vector<std::string> argv = {strace_, "-f", "-qq",
                                     "-y",    "-o", TracePath().string()};
    argv.insert(argv.end(), injections.begin(), injections.end());
    argv.push_back(BRINOK_PROGRAM);
    return argv;
  }

  // The call and occurrence of the `nth` effect `what` of a normal run, or
  // of a clean run on `log` when it is another log (traced here).
  FileEffect Effect(const std::string& what, int nth,
                    const std::string& log = kOriginalLog) const {
    std::vector<FileEffect> effects = effects_;
    if (log != kOriginalLog) {
      ScratchDir dir;
      WriteStartingState(dir, log);
      const RunOutcome ended = RunTraced(Command({}), dir.path());
      EXPECT_FALSE(ended.timed_out);
      effects = FileEffects(ReadWhole(TracePath()), dir.path().string());
    }
    for (const FileEffect& effect : effects) {
      if (effect.what == what && --nth == 0) return effect;
    }
    throw std::runtime_error("the run has no such effect: " + what);
  }

  // Whether the call and occurrence are the normal run's `nth` effect
  // `what`, or with `nth` 0 its last one.
  bool IsEffect(const std::string& call, int occurrence,
                const std::string& what, int nth) const {
    const FileEffect* match = nullptr;
    int seen = 0;
    for (const FileEffect& effect : effects_) {
      if (effect.what != what) continue;
      if (nth == 0) {
        match = &effect;
      } else if (++seen == nth) {
        match = &effect;
        break;
      }
    }
    return match != nullptr && match->call == call &&
           match->occurrence == occurrence;
  }

  bool IsStartUp(const std::string& call, int occurrence) const {
    const auto found = start_up_.find(call);
    return found != start_up_.end() && occurrence <= found->second;
  }

  // Runs one injected run from the starting state, checks how it ended, what
  // it left and what a clean rerun makes of it. Returns whether the fault
  // fired.
  bool ExercisePoint(const std::string& call, int occurrence, Mode mode) {
    const std::string injection = Injection(call, occurrence, mode);
    SCOPED_TRACE(injection);
    ScratchDir dir;
    WriteStartingState(dir);
    const RunOutcome ended = RunTraced(Command({injection}), dir.path());
    const std::string trace = ReadWhole(TracePath());
    EXPECT_FALSE(ended.timed_out) << "the run hung";
    const bool killed = ended.signal == SIGKILL;
    const bool fired =
        !ended.timed_out &&
        (mode == Mode::kKill
             ? killed || trace.find("killed by SIGKILL") != std::string::npos
             : trace.find("(INJECTED)") != std::string::npos);

    const Files after = dir.Contents();
    for (const auto& [name, bytes] : after) {
      EXPECT_TRUE(name == kLog || name == kScratch || name == kReport ||
                  name == kLock || name == kSetAside)
          << "left " << name;
    }
    const auto report = after.find(kReport);
    // A log set aside is kept as well: the next run puts it back.
    const bool log_kept = after.contains(kLog) || after.contains(kSetAside);
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
    for (const char* name : {kLog, kSetAside}) {
      const auto kept = after.find(name);
      if (kept == after.end()) continue;
      EXPECT_TRUE(kept->second == kOriginalLog || kept->second == kCompactedLog)
          << name << " is neither the original log nor its compaction:\n"
          << kept->second;
      EXPECT_EQ(fs::last_write_time(dir / name), kLogWritten)
          << "the kept log lost its time";
    }
    // The sanitizers' runtime (sanitize preset) probes memory by writing to
    // a pipe of its own; a fault injected there fails one of its CHECKs, and
    // it then exits with status 0. That is the runtime ending the program,
    // not the program's normal end.
    const bool runtime_gave_up =
        trace.find(": CHECK failed: ") != std::string::npos;
    const int status = ended.exit_status;
    const std::string log_name = kLog;
    const bool missing = mode == Mode::kFailOnceMissing;
    // Once the report is out, a log that looks gone has gone either way: the
    // run has succeeded, and a log that was still there is published again.
    const bool log_looks_gone_after_publication =
        missing &&
        IsEffect(call, occurrence, "rename " + log_name + " " + kSetAside, 0);
    if (status == 0 && !runtime_gave_up) {
      Files normal_end = {{kReport, kFirstExampleReport}};
      if (log_looks_gone_after_publication) normal_end[kLog] = kCompactedLog;
      EXPECT_EQ(after, normal_end) << "exit status 0 without the normal end";
    }
    if (fired && !runtime_gave_up && !IsStartUp(call, occurrence)) {
      if (mode == Mode::kKill) {
        EXPECT_TRUE(killed) << "the run was not ended by the kill";
      } else if (missing &&
                 (IsEffect(call, occurrence, "stat " + log_name, 1) ||
                  IsEffect(call, occurrence, "open " + log_name, 1))) {
        // A log missing when the run looks for it, before or after it takes
        // the lock: no log, nothing touched.
        EXPECT_EQ(status, 3);
      } else if (log_looks_gone_after_publication) {
        EXPECT_EQ(status, 0);
      } else {
        // Any other failure is a run failure: status 1, or 0 where the
        // failing call was one the run can do without.
        EXPECT_TRUE(status == 1 || status == 0)
            << "a failure ended the run with "
            << (status >= 0 ? "status " + std::to_string(status)
                            : "signal " + std::to_string(ended.signal));
      }
      EXPECT_EQ(ended.printed, "") << "the run printed something";
    }

    const RunOutcome rerun = RunConverter(dir);
    EXPECT_EQ(rerun.exit_status, log_kept ? 0 : 3) << "on the clean rerun";
    EXPECT_EQ(dir.Contents(), (Files{{kReport, kFirstExampleReport}}))
        << "after the clean rerun";
    // However late the reading is published, its report is as old as it.
    EXPECT_EQ(fs::last_write_time(dir / kReport), kLogWritten)
        << "the report is not dated as its reading";
    return fired;
  }

  std::string strace_;
  ScratchDir traces_;
  CallCounts counts_;
  CallCounts start_up_;
  std::vector<FileEffect> effects_;
};

TEST_F(FaultInjection, NormalRunMakesTheFileCallsThatAreInjected) {
  std::printf("file system calls of a normal run:");
  for (const auto& [call, count] : counts_) {
    std::printf(" %s %d", call.c_str(), count);
  }
  std::printf(" (%d in all, %d at start-up)\n", Total(counts_),
              Total(start_up_));
  RecordProperty("file_calls", Total(counts_));
  // The run's own calls, whatever the program loader adds: the log opened
  // three times, the scratch file twice, the log set aside three times (a
  // look for one left over, then before its replacement and its deletion),
  // the lock, the report and the directory once; one lock taken; the
  // scratch file dated twice; the log set aside twice, the compacted log and
  // the report put in place; the log set aside deleted twice.
  EXPECT_GE(CountOf(counts_, {"open", "openat", "openat2"}), 11);
  EXPECT_EQ(CountOf(counts_, {"flock"}), 1);
  EXPECT_EQ(CountOf(counts_, {"utimensat"}), 2);
  EXPECT_EQ(CountOf(counts_, {"rename", "renameat", "renameat2"}), 4);
  EXPECT_EQ(CountOf(counts_, {"unlink", "unlinkat"}), 2);
}

// Each file is forced to disk before the run relies on it: the compacted
// log before it replaces the log, the report before it replaces the old
// one, and the folder (with the report's new name) before the log goes.
// The log goes aside before the compacted log takes its name, and is
// deleted only after.
// Each is dated after its last write, so that its time goes to disk with it
// and no later write changes it.
TEST_F(FaultInjection, DurabilityCallsComeInOrder) {
  std::vector<std::string> order;
  for (const FileEffect& effect : effects_) {
    if (effect.what.starts_with("open ") || effect.what.starts_with("read ") ||
        effect.what.starts_with("close ") || effect.what.starts_with("stat ") ||
        effect.what.starts_with("flock ")) {
      continue;
    }
    // Writes of one file in a row count once.
    if (order.empty() || order.back() != effect.what) {
      order.push_back(effect.what);
    }
  }
  const std::vector<std::string> expected = {
      "write SWP.TXT",
      "time SWP.TXT",
      "fsync SWP.TXT",
      "rename QQ9QQ-7.Log BRINOK.DEL",
      "rename SWP.TXT QQ9QQ-7.Log",
      "unlink BRINOK.DEL",
      "write SWP.TXT",
      "time SWP.TXT",
      "fsync SWP.TXT",
      "rename SWP.TXT BRINOK.TXT",
      "fsync folder",
      "rename QQ9QQ-7.Log BRINOK.DEL",
      "unlink BRINOK.DEL",
  };
  EXPECT_EQ(order, expected);
}

// Faults at named points of the run, and exactly how each must end.
struct NamedFault {
  const char* name;
  const char* effect;  // as FileEffects names it
  int nth;             // which of the normal run's effects of that name
  const char* tamper;  // what strace makes of the call: "error=EIO", ...
  int exit_status;
  Files after;
  // The log the run starts with; the effects are then a run's on it.
  std::string log = kOriginalLog;
  // How many occurrences of the call in a row, from the named one, fail.
  int times = 1;
  // A second fault in the same run, at another effect, if any.
  const char* also = nullptr;
  int also_nth = 0;
  const char* also_tamper = nullptr;
};

void PrintTo(const NamedFault& fault, std::ostream* out) { *out << fault.name; }

class NamedFaultTest : public FaultInjection,
                       public ::testing::WithParamInterface<NamedFault> {};

TEST_P(NamedFaultTest, EndsTheRunAsItMust) {
  const NamedFault& fault = GetParam();
  const auto injection = [&](const char* what, int nth, const char* tamper,
                             int times) {
    const FileEffect effect = Effect(what, nth, fault.log);
    std::string when = std::to_string(effect.occurrence);
    if (times > 1) when += ".." + std::to_string(effect.occurrence + times - 1);
    return "--inject=" + effect.call + ":" + tamper + ":when=" + when;
  };
  std::vector<std::string> injections = {
      injection(fault.effect, fault.nth, fault.tamper, fault.times)};
  if (fault.also != nullptr) {
    injections.push_back(
        injection(fault.also, fault.also_nth, fault.also_tamper, 1));
  }
  SCOPED_TRACE(::testing::PrintToString(injections));
  ScratchDir dir;
  WriteStartingState(dir, fault.log);

  const RunOutcome ended = RunTraced(Command(injections), dir.path());

  ASSERT_NE(ReadWhole(TracePath()).find("(INJECTED)"), std::string::npos);
  ASSERT_NE(ended.exit_status, -1);
  EXPECT_EQ(ended.exit_status, fault.exit_status);
  EXPECT_EQ(ended.printed, "");
  EXPECT_EQ(dir.Contents(), fault.after);
}

INSTANTIATE_TEST_SUITE_P(
    Points, NamedFaultTest,
    ::testing::Values(
        NamedFault{"CompactedLogCannotBeSynced",
                   "fsync SWP.TXT",
                   1,
                   "error=EIO",
                   1,
                   {{kLog, kOriginalLog},
                    {kScratch, kCompactedLog},
                    {kReport, kOldReport}}},
        NamedFault{"ReportCannotBeSynced",
                   "fsync SWP.TXT",
                   2,
                   "error=EIO",
                   1,
                   {{kLog, kCompactedLog},
                    {kScratch, kFirstExampleReport},
                    {kReport, kOldReport}}},
        // Closing is where some file systems report a write they could not
        // make: a file whose close fails is not relied on.
        NamedFault{"CompactedLogCannotBeClosed",
                   "close SWP.TXT",
                   1,
                   "error=EIO",
                   1,
                   {{kLog, kOriginalLog},
                    {kScratch, kCompactedLog},
                    {kReport, kOldReport}}},
        NamedFault{"ReportCannotBeClosed",
                   "close SWP.TXT",
                   2,
                   "error=EIO",
                   1,
                   {{kLog, kCompactedLog},
                    {kScratch, kFirstExampleReport},
                    {kReport, kOldReport}}},
        // The report is in place, but its new name may not survive a crash:
        // the log stays, and the next run publishes it again.
        NamedFault{"FolderSyncFails",
                   "fsync folder",
                   1,
                   "error=EIO",
                   1,
                   {{kLog, kCompactedLog}, {kReport, kFirstExampleReport}}},
        // A file system that cannot sync a directory has nothing to sync.
        NamedFault{"FolderCannotBeSynced",
                   "fsync folder",
                   1,
                   "error=EINVAL",
                   0,
                   {{kReport, kFirstExampleReport}}},
        // The sync's own error decides, not the folder's close after it.
        NamedFault{.name = "FolderCannotBeSyncedAndItsCloseFails",
                   .effect = "fsync folder",
                   .nth = 1,
                   .tamper = "error=EINVAL",
                   .exit_status = 0,
                   .after = {{kReport, kFirstExampleReport}},
                   .also = "close folder",
                   .also_nth = 1,
                   .also_tamper = "error=EIO"},
        NamedFault{"FolderSyncNotSupported",
                   "fsync folder",
                   1,
                   "error=EOPNOTSUPP",
                   0,
                   {{kReport, kFirstExampleReport}}},
        // A folder that may be written but not listed.
        NamedFault{"FolderCannotBeOpened",
                   "open folder",
                   1,
                   "error=EACCES",
                   0,
                   {{kReport, kFirstExampleReport}}},
        // With the report out, a log that another program removed is gone
        // either way: the run has succeeded.
        NamedFault{"LogVanishesBeforeItIsDeleted",
                   "rename QQ9QQ-7.Log BRINOK.DEL",
                   2,  // after its replacement's
                   "error=ENOENT",
                   0,
                   {{kLog, kCompactedLog}, {kReport, kFirstExampleReport}}},
        // The log set aside goes back to its name when it cannot be deleted.
        NamedFault{"LogSetAsideCannotBeDeleted",
                   "unlink BRINOK.DEL",
                   2,
                   "error=EIO",
                   1,
                   {{kLog, kCompactedLog}, {kReport, kFirstExampleReport}}},
        NamedFault{"OriginalLogSetAsideCannotBeDeleted",
                   "unlink BRINOK.DEL",
                   1,
                   "error=EIO",
                   1,
                   {{kLog, kCompactedLog}, {kReport, kOldReport}}},
        // A file system that cannot rename without replacing (NFS): the
        // compacted log is linked at the log's name, then unlinked.
        NamedFault{"NoRenameWithoutReplacing",
                   "rename SWP.TXT QQ9QQ-7.Log",
                   1,
                   "error=EINVAL",
                   0,
                   {{kReport, kFirstExampleReport}}},
        NamedFault{"FolderMayNotBeOpened",
                   "open folder",
                   1,
                   "error=EPERM",
                   0,
                   {{kReport, kFirstExampleReport}}},
        NamedFault{"FolderOpenFails",
                   "open folder",
                   1,
                   "error=EIO",
                   1,
                   {{kLog, kCompactedLog}, {kReport, kFirstExampleReport}}},
        // A close that fails may be a write that failed: the run ends.
        NamedFault{"LogCountedByTheCheckCannotBeClosed",
                   "close QQ9QQ-7.Log",
                   1,
                   "error=EIO",
                   1,
                   {{kLog, kOriginalLog}, {kReport, kOldReport}}},
        NamedFault{
            "LogReadForTheReportCannotBeClosed",
            "close QQ9QQ-7.Log",
            3,
            "error=EIO",
            1,
            {{kLog, kCompactedLog}, {kScratch, ""}, {kReport, kOldReport}}},
        // Not retried: on Linux the descriptor is released either way.
        NamedFault{"CompactedLogCloseInterrupted",
                   "close SWP.TXT",
                   1,
                   "error=EINTR",
                   1,
                   {{kLog, kOriginalLog},
                    {kScratch, kCompactedLog},
                    {kReport, kOldReport}}},
        NamedFault{"LogReadForTheCompactionCannotBeClosed",
                   "close QQ9QQ-7.Log",
                   2,
                   "error=EIO",
                   1,
                   {{kLog, kOriginalLog},
                    {kScratch, kCompactedLog},
                    {kReport, kOldReport}}},
        NamedFault{"OldReportCannotBeClosed",
                   "close BRINOK.TXT",
                   1,
                   "error=EIO",
                   1,
                   {{kLog, kCompactedLog},
                    {kScratch, kFirstExampleReport},
                    {kReport, kOldReport}}},
        // A write that writes nothing would never end if it were retried.
        NamedFault{
            "ReportWriteWritesNothing",
            "write SWP.TXT",
            2,
            "retval=0",
            1,
            {{kLog, kCompactedLog}, {kScratch, ""}, {kReport, kOldReport}}},
        // The lock is tried at the start and after each of 500 pauses of
        // 10 ms: free at the last try, the run converts; taken at every
        // try, it has waited in vain and touches nothing.
        NamedFault{.name = "LockFreeAtTheLastTry",
                   .effect = "flock BRINOK.LCK",
                   .nth = 1,
                   .tamper = "error=EAGAIN",
                   .exit_status = 0,
                   .after = {{kReport, kFirstExampleReport}},
                   .times = 500},
        NamedFault{.name = "LockTakenAtEveryTry",
                   .effect = "flock BRINOK.LCK",
                   .nth = 1,
                   .tamper = "error=EAGAIN",
                   .exit_status = 1,
                   .after = {{kLog, kOriginalLog}, {kReport, kOldReport}},
                   .times = 501},
        // A file system without locks fails every try alike: the run ends
        // at once, not after 5 s in vain at every start. (A run that took
        // the failure for a held lock would try again, and here convert.)
        NamedFault{"LockNotSupported",
                   "flock BRINOK.LCK",
                   1,
                   "error=ENOLCK",
                   1,
                   {{kLog, kOriginalLog}, {kReport, kOldReport}}},
        // A lock file that the account may not write (another account's)
        // is opened for reading, which locks as well.
        NamedFault{"LockFileMayNotBeWritten",
                   "open BRINOK.LCK",
                   1,
                   "error=EACCES",
                   0,
                   {{kReport, kFirstExampleReport}}},
        // A rejected log that another program removes meanwhile was not
        // the run's to delete: the run fails, as at any other vanishing.
        NamedFault{.name = "RejectedLogVanishesBeforeItIsDeleted",
                   .effect = "rename QQ9QQ-7.Log BRINOK.DEL",
                   .nth = 1,
                   .tamper = "error=ENOENT",
                   .exit_status = 1,
                   .after = {{kLog, kRejectedLog}, {kReport, kOldReport}},
                   .log = kRejectedLog},
        NamedFault{.name = "RejectedLogSetAsideCannotBeDeleted",
                   .effect = "unlink BRINOK.DEL",
                   .nth = 1,
                   .tamper = "error=EIO",
                   .exit_status = 1,
                   .after = {{kLog, kRejectedLog}, {kReport, kOldReport}},
                   .log = kRejectedLog}),
    [](const auto& info) { return std::string(info.param.name); });

// The weather program writes a new log while a run goes on. One call of the
// run is held back half a second as it starts (or, where a row says so, as
// it ends), and the log is rewritten meanwhile: once the check has opened
// the log and before it takes its identity or counts; once the compacted
// copy is written and about to take the log's place; right after it has;
// once the reading has opened it; once the report is published and the log
// about to go.
enum class Rewrite {
  kInPlace,
  kWriteThenRename,
  // In place to another size, with the modification time put back, as a
  // file system with a coarse clock would show it.
  kInPlaceSameTime,
  // The log moved aside, and a link to it put at its name.
  kLinkToTheLog,
  // In place to fourteen lines: the compacted log's seven, then a new
  // reading's.
  kInPlaceTwoReadings,
  // In place to a new reading of the same size, with the modification time
  // put back: the same file, size and time, as a rewrite within one tick
  // of the file system's clock leaves them. Only the bytes tell.
  kInPlaceSameSizeAndTime,
};

struct RewriteCase {
  const char* name;
  const char* held;  // the effect held back, as FileEffects names it
  int nth;           // which of the normal run's effects of that name
  Rewrite rewrite;
  int exit_status;
  Files after;  // besides the new log (or link), which is always kept
  bool after_the_call = false;  // held once the call is done
  // The log the run starts with; the effects are then a run's on it.
  std::string log = kOriginalLog;
};

void PrintTo(const RewriteCase& rewrite_case, std::ostream* out) {
  *out << rewrite_case.name;
}

// A new reading from the weather program, of another size than the
// compacted log but of the size of the log as first written.
const std::string kNewLog =
    Lines({"45.9", "15", "22", "-4", "1,25", "1013", "77"});
const std::string kNewReport = Report("045/015g022t-04P125b10130h77");
// The same reading, one byte longer.
const std::string kLongerNewLog = " " + kNewLog;

// The same reading, `size` bytes long (its humidity led by spaces, which a
// number does not see), at least kNewLog's size.
std::string NewLogOfSize(std::size_t size) {
  return Lines({"45.9", "15", "22", "-4", "1,25", "1013",
                std::string(size - kNewLog.size(), ' ') + "77"});
}

// Six lines the size of kNewLog and of the original log: the check rejects
// them.
const std::string kRejectedLogOfTheSameSize =
    "270\r\n5\r\n12\r\n68.5\r\n0.12\r\n1013.2  55";

// The rewritten log's modification time: half a second after the log's,
// within one second, so a rewrite to the same size is told only by the
// fraction of its second, on every run.
const fs::file_time_type kLogRewritten =
    kLogWritten + std::chrono::milliseconds{500};

class RewriteDuringTheRun : public FaultInjection,
                            public ::testing::WithParamInterface<RewriteCase> {
};

TEST_P(RewriteDuringTheRun, KeepsTheNewLog) {
  const RewriteCase& rewrite_case = GetParam();
  const FileEffect held =
      Effect(rewrite_case.held, rewrite_case.nth, rewrite_case.log);
  ScratchDir dir;
  WriteStartingState(dir, rewrite_case.log);
  const Rewrite kind = rewrite_case.rewrite;
  // Of the size of the log it replaces, for kInPlaceSameSizeAndTime.
  std::string new_log = kind == Rewrite::kInPlaceSameTime ? kLongerNewLog
                        : kind == Rewrite::kInPlaceTwoReadings
                            ? kCompactedLog + kNewLog
                            : kNewLog;
  // The trace of this run alone tells when the held call has started, or
  // has been made.
  fs::remove(TracePath());
  const auto moment_has_come = [&] {
    if (rewrite_case.after_the_call) {
      return ReadWhole(TracePath()).find("(DELAYED)") != std::string::npos;
    }
    int seen = 0;
    for (const FileEffect& effect :
         FileEffects(ReadWhole(TracePath()), dir.path().string())) {
      if (effect.what == rewrite_case.held) ++seen;
    }
    return seen >= rewrite_case.nth;
  };
  bool rewritten = false;
  const auto rewrite = [&] {
    if (!moment_has_come()) return false;
    if (kind == Rewrite::kInPlaceSameSizeAndTime) {
      const fs::file_time_type time = fs::last_write_time(dir / kLog);
      new_log = NewLogOfSize(fs::file_size(dir / kLog));
      {
        std::ofstream log(dir / kLog, std::ios::binary | std::ios::in |
                                          std::ios::out | std::ios::trunc);
        log << new_log;
      }
      fs::last_write_time(dir / kLog, time);
    } else if (kind == Rewrite::kInPlace || kind == Rewrite::kInPlaceSameTime ||
               kind == Rewrite::kInPlaceTwoReadings) {
      // Opened, emptied and written: the same file with new contents.
      {
        std::ofstream log(dir / kLog, std::ios::binary | std::ios::in |
                                          std::ios::out | std::ios::trunc);
        log << new_log;
      }
      fs::last_write_time(
          dir / kLog, kind == Rewrite::kInPlace ? kLogRewritten : kLogWritten);
    } else if (kind == Rewrite::kLinkToTheLog) {
      fs::rename(dir / kLog, dir / "held.log");
      fs::create_symlink("held.log", dir / kLog);
    } else {
      dir.Write("new.tmp", kNewLog);
      fs::last_write_time(dir / "new.tmp", kLogRewritten);
      fs::rename(dir / "new.tmp", dir / kLog);
    }
    rewritten = true;
    return true;
  };

  // Half a second: time enough to see the moment and write.
  const RunOutcome ended = RunTraced(
      Command({"--inject=" + held.call +
               (rewrite_case.after_the_call ? ":delay_exit" : ":delay_enter") +
               "=500000:when=" + std::to_string(held.occurrence)}),
      dir.path(), rewrite);

  ASSERT_TRUE(rewritten) << "the moment to rewrite the log never came";
  ASSERT_NE(ended.exit_status, -1);
  EXPECT_EQ(ended.exit_status, rewrite_case.exit_status);
  EXPECT_EQ(ended.printed, "");
  Files expected = rewrite_case.after;
  if (kind == Rewrite::kLinkToTheLog) {
    expected[kLog] = "<link>";
    expected["held.log"] = kOriginalLog;
    EXPECT_EQ(dir.Contents(), expected);
    return;  // a link at the log's name is refused by every run
  }
  expected[kLog] = new_log;
  EXPECT_EQ(dir.Contents(), expected);
  // The next run converts the new reading; fourteen lines are no log, and
  // the next run rejects them.
  EXPECT_EQ(RunConverter(dir).exit_status,
            kind == Rewrite::kInPlaceTwoReadings ? 2 : 0);
  EXPECT_EQ(dir.Contents(), (Files{{kReport, kNewReport}}));
}

INSTANTIATE_TEST_SUITE_P(
    Moments, RewriteDuringTheRun,
    ::testing::Values(
        // The check counts the log it opened; the one now at the name has
        // not been checked, so the run fails once it has copied it, and
        // leaves it alone.
        RewriteCase{"InPlaceBeforeTheCheckCounts",
                    "read QQ9QQ-7.Log",
                    1,
                    Rewrite::kInPlace,
                    1,
                    {{kScratch, kNewLog}, {kReport, kOldReport}}},
        RewriteCase{"RenamedBeforeTheCheckCounts",
                    "read QQ9QQ-7.Log",
                    1,
                    Rewrite::kWriteThenRename,
                    1,
                    {{kScratch, kNewLog}, {kReport, kOldReport}}},
        // The log at the name is not the one the check opened and counts.
        RewriteCase{"RenamedBeforeTheCheckTakesItsIdentity",
                    "stat QQ9QQ-7.Log",
                    2,  // the first look's, then the check's
                    Rewrite::kWriteThenRename,
                    1,
                    {{kScratch, kNewLog}, {kReport, kOldReport}}},
        // Replacing the log now would put the old reading over the new one:
        // the run fails instead and leaves the new log alone.
        RewriteCase{"InPlaceBeforeTheCompactedLogReplacesIt",
                    "fsync SWP.TXT",
                    1,
                    Rewrite::kInPlace,
                    1,
                    {{kScratch, kCompactedLog}, {kReport, kOldReport}}},
        RewriteCase{"RenamedBeforeTheCompactedLogReplacesIt",
                    "fsync SWP.TXT",
                    1,
                    Rewrite::kWriteThenRename,
                    1,
                    {{kScratch, kCompactedLog}, {kReport, kOldReport}}},
        // Only the size tells this rewrite.
        RewriteCase{"InPlaceToAnotherSizeAtTheSameTime",
                    "fsync SWP.TXT",
                    1,
                    Rewrite::kInPlaceSameTime,
                    1,
                    {{kScratch, kCompactedLog}, {kReport, kOldReport}}},
        // Only the bytes tell this one.
        RewriteCase{
            "InPlaceToTheSameSizeAndTimeBeforeTheCompactedLogReplacesIt",
            "fsync SWP.TXT",
            1,
            Rewrite::kInPlaceSameSizeAndTime,
            1,
            {{kScratch, kCompactedLog}, {kReport, kOldReport}}},
        // The judged log is set aside only after the replacement's identity
        // is taken: a log renamed in meanwhile is the one set aside, and
        // goes back.
        RewriteCase{"RenamedWhileTheReplacementIsLookedAt",
                    "stat SWP.TXT",
                    2,  // after its creation's
                    Rewrite::kWriteThenRename,
                    1,
                    {{kScratch, kCompactedLog}, {kReport, kOldReport}}},
        // The log is set aside, but a new one came in the moment after: it
        // keeps the name, and the judged log, set aside, goes.
        RewriteCase{.name = "RenamedOnceTheLogIsSetAsideForItsReplacement",
                    .held = "rename QQ9QQ-7.Log BRINOK.DEL",
                    .nth = 1,
                    .rewrite = Rewrite::kWriteThenRename,
                    .exit_status = 1,
                    .after = {{kScratch, kCompactedLog}, {kReport, kOldReport}},
                    .after_the_call = true},
        // The link is looked at, not the log it leads to.
        RewriteCase{"LinkPutAtTheLogBeforeTheCompactedLogReplacesIt",
                    "fsync SWP.TXT",
                    1,
                    Rewrite::kLinkToTheLog,
                    1,
                    {{kScratch, kCompactedLog}, {kReport, kOldReport}}},
        // The log at the name is no longer the compacted one: the run does
        // not read it.
        RewriteCase{"RenamedRightAfterTheCompactedLogReplacesIt",
                    "rename SWP.TXT QQ9QQ-7.Log",
                    1,
                    Rewrite::kWriteThenRename,
                    1,
                    {{kReport, kOldReport}},
                    true},
        RewriteCase{"InPlaceBeforeTheReadingOpensIt",
                    "open QQ9QQ-7.Log",
                    3,
                    Rewrite::kInPlace,
                    1,
                    {{kReport, kOldReport}}},
        RewriteCase{"RenamedBeforeTheReadingOpensIt",
                    "open QQ9QQ-7.Log",
                    3,
                    Rewrite::kWriteThenRename,
                    1,
                    {{kReport, kOldReport}}},
        // The reading is the file the run opened, whatever the name holds
        // now; the new log waits for the next run.
        RewriteCase{"RenamedOnceTheReadingHasOpenedIt",
                    "stat QQ9QQ-7.Log",
                    4,  // the reading's: after the look, the check's and
                        // the compaction's
                    Rewrite::kWriteThenRename,
                    0,
                    {{kReport, kFirstExampleReport}}},
        // The check rejects the log; the one at the name by the time it is
        // to be deleted is a new reading, which waits for the next run.
        RewriteCase{.name = "RenamedBeforeTheRejectedLogIsDeleted",
                    .held = "close QQ9QQ-7.Log",
                    .nth = 1,
                    .rewrite = Rewrite::kWriteThenRename,
                    .exit_status = 1,
                    .after = {{kReport, kOldReport}},
                    .log = kRejectedLog},
        RewriteCase{
            .name = "InPlaceToTheSameSizeAndTimeBeforeTheRejectedLogIsDeleted",
            .held = "close QQ9QQ-7.Log",
            .nth = 1,
            .rewrite = Rewrite::kInPlaceSameSizeAndTime,
            .exit_status = 1,
            .after = {{kReport, kOldReport}},
            .log = kRejectedLogOfTheSameSize},
        // The deletion is held back: the rejected log, set aside, goes; the
        // new one, at the log's name, is not touched.
        RewriteCase{.name = "RenamedWhileTheRejectedLogIsDeleted",
                    .held = "unlink BRINOK.DEL",
                    .nth = 1,
                    .rewrite = Rewrite::kWriteThenRename,
                    .exit_status = 2,
                    .after = {{kReport, kOldReport}},
                    .log = kRejectedLog},
        // The reading reads the file it opened to its end, seven lines at a
        // time, and the last seven are the reading: a log rewritten in place
        // to two readings meanwhile gives the second.
        RewriteCase{.name = "InPlaceToTwoReadingsOnceTheReadingHasOpenedIt",
                    .held = "stat QQ9QQ-7.Log",
                    .nth = 4,  // the reading's, as above
                    .rewrite = Rewrite::kInPlaceTwoReadings,
                    .exit_status = 0,
                    .after = {{kReport, kNewReport}},
                    .after_the_call = true},
        // The report of the old reading is out; the new log waits for the
        // next run instead of being deleted.
        RewriteCase{"InPlaceBeforeTheLogIsDeleted",
                    "fsync folder",
                    1,
                    Rewrite::kInPlace,
                    0,
                    {{kReport, kFirstExampleReport}}},
        RewriteCase{"RenamedBeforeTheLogIsDeleted",
                    "fsync folder",
                    1,
                    Rewrite::kWriteThenRename,
                    0,
                    {{kReport, kFirstExampleReport}}},
        RewriteCase{"InPlaceToTheSameSizeAndTimeBeforeTheLogIsDeleted",
                    "fsync folder",
                    1,
                    Rewrite::kInPlaceSameSizeAndTime,
                    0,
                    {{kReport, kFirstExampleReport}}},
        RewriteCase{"RenamedWhileTheLogIsDeleted",
                    "unlink BRINOK.DEL",
                    2,  // after the original log's, once replaced
                    Rewrite::kWriteThenRename,
                    0,
                    {{kReport, kFirstExampleReport}}}),
    [](const auto& info) { return std::string(info.param.name); });

// A file system may give fewer bytes than a read asks for anywhere in a
// file (network and FUSE ones do), and take fewer than a write gives (a full
// disk). The run is traced by the test itself, which cuts the byte count of
// each read of the log, at the opens a row names, or of every write, before
// the kernel sees it: the kernel then really reads or writes less, and the
// file goes on.
struct PiecesCase {
  const char* name;
  std::size_t piece;  // the most bytes a read or write takes
  unsigned opens;     // bit n-1 set: reads after the nth open of the log;
                      // kWrites: every write
  std::string log;
};

void PrintTo(const PiecesCase& pieces_case, std::ostream* out) {
  *out << pieces_case.name;
}

// The log's opens in a run: the check's, the compaction's, the reading's.
constexpr unsigned kCheck = 1;
constexpr unsigned kCompaction = 2;
constexpr unsigned kReading = 4;
constexpr unsigned kWrites = 8;

// The reader's block of 64 KiB.
constexpr std::size_t kReadBlock = 64 * 1024;

#if defined(__x86_64__)
// Runs the program traced, cutting the reads or writes as the row says;
// returns how it ended and the number of calls cut.
std::pair<RunOutcome, int> RunInPieces(const fs::path& dir,
                                       const PiecesCase& pieces_case) {
  bool started = false;  // the first stop is the one at the program's start
  bool entering = true;  // syscall stops come in pairs, entry then exit
  long log = -1;         // the descriptor of the log while it is open
  int log_opens = 0;
  bool cutting = false;
  int cut_calls = 0;
  const auto tracer = [&](pid_t child, int status) {
    int pass_signal = 0;
    if (!started) {
      started = true;
      ::ptrace(PTRACE_SETOPTIONS, child, nullptr,
               PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL);
    } else if (WSTOPSIG(status) != (SIGTRAP | 0x80)) {
      pass_signal = WSTOPSIG(status);  // a signal for the program
    } else {
      struct user_regs_struct regs;
      ::ptrace(PTRACE_GETREGS, child, nullptr, &regs);
      const bool entry = entering;
      entering = !entering;
      const auto call = static_cast<long>(regs.orig_rax);
      const bool cut = call == SYS_read
                           ? static_cast<long>(regs.rdi) == log && cutting
                           : call == SYS_write && (pieces_case.opens & kWrites);
      if (entry && cut && regs.rdx > pieces_case.piece) {
        regs.rdx = pieces_case.piece;
        ::ptrace(PTRACE_SETREGS, child, nullptr, &regs);
        ++cut_calls;
      } else if (entry && call == SYS_close &&
                 static_cast<long>(regs.rdi) == log) {
        log = -1;
      } else if (!entry && call == SYS_openat &&
                 static_cast<long>(regs.rax) >= 0) {
        const std::string fd = "/proc/" + std::to_string(child) + "/fd/" +
                               std::to_string(static_cast<long>(regs.rax));
        char target[PATH_MAX];
        const ssize_t length = ::readlink(fd.c_str(), target, sizeof target);
        if (length > 0 &&
            fs::path(std::string(target, static_cast<std::size_t>(length)))
                    .filename() == kLog) {
          log = static_cast<long>(regs.rax);
          cutting = (pieces_case.opens >> log_opens++ & 1) != 0;
        }
      }
    }
    ::ptrace(PTRACE_SYSCALL, child, nullptr, pass_signal);
  };
  ChildOptions options;
  options.dir = dir;
  options.time_limit = kRunTimeout;
  options.set_up = WithoutLeakCheck;
  options.tracer = tracer;
  const RunOutcome outcome = ChildProcess({BRINOK_PROGRAM}, options).Wait();
  return {outcome, cut_calls};
}
#endif

class ShortReadsAndWrites : public FaultInjection,
                            public ::testing::WithParamInterface<PiecesCase> {};

TEST_P(ShortReadsAndWrites, ConvertAsIfEachWereWhole) {
#if defined(__x86_64__)
  const PiecesCase& pieces_case = GetParam();
  ScratchDir dir;
  dir.Write(kLog, pieces_case.log);
  dir.Write(kReport, kOldReport);

  const auto [run, cut_calls] = RunInPieces(dir.path(), pieces_case);

  EXPECT_GT(cut_calls, 0) << "no read or write was cut short";
  ASSERT_NE(run.exit_status, -1);
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.printed, "");
  EXPECT_EQ(dir.Contents(), (Files{{kReport, kFirstExampleReport}}));
#else
  GTEST_SKIP() << "cuts reads through the registers of x86-64";
#endif
}

INSTANTIATE_TEST_SUITE_P(
    Pieces, ShortReadsAndWrites,
    ::testing::Values(
        PiecesCase{"CheckReadsByteByByte", 1, kCheck, kOriginalLog},
        PiecesCase{"CompactionReadsTenBytesAtATime", 10, kCompaction,
                   kOriginalLog},
        PiecesCase{"ReadingReadsTenBytesAtATime", 10, kReading, kOriginalLog},
        // The mark comes in three reads, and must still be passed over.
        PiecesCase{"ByteOrderMarkReadByteByByte", 1,
                   kCheck | kCompaction | kReading,
                   "\xEF\xBB\xBF" + kOriginalLog},
        // A log longer than the reader's block, each read one byte short
        // of it (spaces do not exist for a number).
        // Each write takes a hundred bytes; the rest follows it.
        PiecesCase{"WritesTakeAHundredBytesAtATime", 100, kWrites,
                   kOriginalLog},
        PiecesCase{"EachReadOneByteShortOfABlock", kReadBlock - 1,
                   kCheck | kCompaction | kReading,
                   "270" + std::string(kReadBlock + 100, ' ') +
                       "\r\n5\r\n12\r\n" + "68.5\r\n0.12\r\n1013.2\r\n55"}),
    [](const auto& info) { return std::string(info.param.name); });

class EveryFileCall : public FaultInjection,
                      public ::testing::WithParamInterface<ModeCase> {};

TEST_P(EveryFileCall, LeavesADirectoryTheNextRunRecovers) {
  const ModeCase& mode_case = GetParam();
  int exercised = 0;
  int not_fired = 0;
  for (const auto& [call, count] : counts_) {
    if (mode_case.mode == Mode::kFailOnceMissing &&
        std::find(std::begin(kNameCalls), std::end(kNameCalls), call) ==
            std::end(kNameCalls)) {
      continue;  // only a call that takes a name can find it missing
    }
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
  EXPECT_GT(exercised, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, EveryFileCall,
    ::testing::Values(ModeCase{"FailsOnceWithEIO", Mode::kFailOnce},
                      ModeCase{"FailsFromThenOnWithENOSPC",
                               Mode::kFailFromThenOn},
                      ModeCase{"FailsOnceWithENOENT", Mode::kFailOnceMissing},
                      ModeCase{"KilledBySIGKILL", Mode::kKill}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace brinok::testing
