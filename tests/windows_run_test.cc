// Runs the Windows program (under Wine, or wherever BRINOK_TEST_COMMAND
// points) on what only Windows has: names that match regardless of case, and
// files that another program holds open without sharing them. Skipped when
// the program under test is not the Windows build.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "report_fixtures.h"
#include "run_harness.h"
#include "scratch_dir.h"

namespace brinok::testing {
namespace {

namespace fs = std::filesystem;

// How long the holder may take to start under the emulator, and to end once
// released after the run it holds a file for.
constexpr std::chrono::milliseconds kHolderStart = std::chrono::seconds(60);
constexpr std::chrono::milliseconds kHolderTimeLimit =
    kHolderStart + kRunTimeout + std::chrono::seconds(60);

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return std::toupper(c); });
  return text;
}

// The directory's files under upper-case names: which letter case a name
// keeps when a file is replaced is up to the file system.
Files FilesByUpperName(const ScratchDir& dir) {
  Files files;
  for (const auto& [name, bytes] : dir.Contents()) {
    EXPECT_TRUE(files.emplace(Upper(name), bytes).second)
        << "two files named " << name;
  }
  return files;
}

class WindowsRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TestingWindowsProgram()) {
      GTEST_SKIP() << "Windows names and sharing; set BRINOK_TEST_PLATFORM="
                      "windows to run them against the Windows program";
    }
  }
};

struct CaseRun {
  const char* name;
  Files before;
  int exit_status;
  Files after;  // by upper-case name
};

void PrintTo(const CaseRun& run, std::ostream* out) { *out << run.name; }

class NameCaseTest : public WindowsRunTest,
                     public ::testing::WithParamInterface<CaseRun> {};

TEST_P(NameCaseTest, NamesMatchRegardlessOfCase) {
  const CaseRun& run = GetParam();
  ScratchDir dir;
  for (const auto& [name, bytes] : run.before) dir.Write(name, bytes);

  const RunOutcome outcome = RunConverter(dir);

  EXPECT_EQ(outcome.exit_status, run.exit_status);
  EXPECT_EQ(outcome.printed, "");
  EXPECT_EQ(FilesByUpperName(dir), run.after);
}

INSTANTIATE_TEST_SUITE_P(
    OtherLetterCase, NameCaseTest,
    ::testing::Values(
        CaseRun{"LowerCaseLogIsConverted",
                {{"qq9qq-7.log", kFirstExampleLog}},
                0,
                {{kReport, kFirstExampleReport}}},
        CaseRun{"UpperCaseLogIsConverted",
                {{"QQ9QQ-7.LOG", kFirstExampleLog}},
                0,
                {{kReport, kFirstExampleReport}}},
        CaseRun{"LowerCaseReportIsReplaced",
                {{kLog, kFirstExampleLog}, {"brinok.txt", kOldReport}},
                0,
                {{kReport, kFirstExampleReport}}},
        CaseRun{"LowerCaseScratchGoes",
                {{kLog, kFirstExampleLog}, {"swp.txt", "stale scratch"}},
                0,
                {{kReport, kFirstExampleReport}}},
        CaseRun{"LowerCaseLogIsRejected",
                {{"qq9qq-7.log", "1\r\n2\r\n"}, {"brinok.txt", kOldReport}},
                2,
                {{kReport, kOldReport}}},
        // The compacted log is left under the log's name.
        CaseRun{
            "LowerCaseLogKeptWhenTheReadingFails",
            {{"qq9qq-7.log", "1\r\n2\r\n3\r\n\r\n5\r\n6\r\n7\r\n"}},
            1,
            {{Upper(kLog), "1\r\n2\r\n3\r\n5\r\n6\r\n7\r\n"}, {kScratch, ""}}}),
    [](const auto& info) { return std::string(info.param.name); });

// The holder program's command line: the program's, with hold_open.exe, which
// the windows build puts next to BRINOK.EXE, in place of the program.
std::vector<std::string> HolderCommand(const std::string& name,
                                       bool for_writing) {
  if (!TestingThroughCommand()) {
    throw std::runtime_error("BRINOK_TEST_COMMAND names no Windows program");
  }
  std::vector<std::string> words = TestCommand();
  const fs::path holder =
      fs::path(words.back()).parent_path() / "hold_open.exe";
  if (!fs::is_regular_file(holder)) {
    throw std::runtime_error(holder.string() + " is missing");
  }
  words.back() = holder.string();
  words.push_back(name);
  if (for_writing) words.push_back("write");
  return words;
}

// Another program that holds a file of `dir` open while the object lives:
// with no sharing at all, or for writing, sharing the rest.
class HeldFile {
 public:
  HeldFile(const ScratchDir& dir, const std::string& name, bool for_writing)
      : holder_(HolderCommand(name, for_writing),
                {.dir = dir.path(),
                 .time_limit = kHolderTimeLimit,
                 .set_up = {},
                 .tracer = {}}) {
    held_ = holder_.WaitFor(
        [&] { return holder_.Printed().find("held\n") != std::string::npos; },
        kHolderStart);
  }

  /// True once the holder said it has the file open.
  bool held() const { return held_; }
  /// What the holder printed.
  std::string printed() const { return holder_.Printed(); }

  /// Ends the hold; returns the holder's exit status (-1 if it was killed).
  int Release() {
    if (!held_) holder_.Kill();
    return holder_.Wait().exit_status;
  }

 private:
  ChildProcess holder_;
  bool held_ = false;
};

struct HeldRun {
  const char* name;
  const char* held;  // the file another program holds open during the run
  Files before;
  Files after;
  bool for_writing = false;  // held for writing, sharing the rest
};

void PrintTo(const HeldRun& run, std::ostream* out) { *out << run.name; }

class HeldFileTest : public WindowsRunTest,
                     public ::testing::WithParamInterface<HeldRun> {};

TEST_P(HeldFileTest, FailsTheRunAndTheNextRunPublishes) {
  const HeldRun& run = GetParam();
  ScratchDir dir;
  for (const auto& [name, bytes] : run.before) dir.Write(name, bytes);

  RunOutcome outcome;
  {
    HeldFile held(dir, run.held, run.for_writing);
    ASSERT_TRUE(held.held())
        << "the holder could not open " << run.held << ":\n"
        << held.printed();
    outcome = RunConverter(dir);
    EXPECT_EQ(held.Release(), 0);
  }

  EXPECT_EQ(outcome.exit_status, 1);
  EXPECT_EQ(outcome.printed, "");
  EXPECT_EQ(dir.Contents(), run.after);
  // Once the file is free again, the kept log gives the report.
  EXPECT_EQ(RunConverter(dir).exit_status, 0);
  EXPECT_EQ(dir.Contents(), (Files{{kReport, kFirstExampleReport}}));
}

INSTANTIATE_TEST_SUITE_P(
    NoSharing, HeldFileTest,
    ::testing::Values(
        HeldRun{"LogCannotBeRead",
                kLog,
                {{kLog, kFirstExampleLog}, {kReport, kOldReport}},
                {{kLog, kFirstExampleLog}, {kReport, kOldReport}}},
        HeldRun{"ScratchCannotBeWritten",
                kScratch,
                {{kLog, kFirstExampleLog},
                 {kScratch, "held"},
                 {kReport, kOldReport}},
                {{kLog, kFirstExampleLog},
                 {kScratch, "held"},
                 {kReport, kOldReport}}},
        // Another program, not a run, holds the lock file: nothing is read.
        HeldRun{"LockCannotBeOpened",
                kLock,
                {{kLog, kFirstExampleLog}, {kReport, kOldReport}, {kLock, ""}},
                {{kLog, kFirstExampleLog}, {kReport, kOldReport}}},
        // A weather program holds the log open for writing while it lets
        // others read, rename and delete it: the log set aside is not
        // deleted, as it could still change, but put back.
        HeldRun{"LogOpenForWritingIsNotDeleted",
                kLog,
                {{kLog, kFirstExampleLog}, {kReport, kOldReport}},
                {{kLog, kFirstExampleLog},
                 {kScratch, kFirstExampleLog},
                 {kReport, kOldReport}},
                true},
        // The report is written in full but cannot take the old one's place.
        HeldRun{"ReportCannotBeReplaced",
                kReport,
                {{kLog, kFirstExampleLog}, {kReport, kOldReport}},
                {{kLog, kFirstExampleLog},
                 {kScratch, kFirstExampleReport},
                 {kReport, kOldReport}}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace brinok::testing
