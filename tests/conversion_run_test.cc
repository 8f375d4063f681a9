// Runs the built converter in fresh directories and checks the exit status and
// every file it leaves behind, byte for byte.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "report_fixtures.h"
#include "run_harness.h"
#include "scratch_dir.h"

namespace brinok::testing {
namespace {

namespace fs = std::filesystem;
struct RunCase {
  const char* name;
  Files before;
  int exit_status;
  Files after;
  RunConditions conditions = {};
  // The log's modification time, which the log the run keeps and the report
  // it publishes must carry.
  std::optional<fs::file_time_type> log_time = {};
};

// A time some hours from now (before it when negative), with a fraction of
// a second that a clock of 100 ns ticks (Windows) keeps whole and one of
// microseconds would cut.
fs::file_time_type HoursFromNow(int hours) {
  return std::chrono::floor<std::chrono::seconds>(
             fs::file_time_type::clock::now() + std::chrono::hours(hours)) +
         std::chrono::nanoseconds(123'456'700);
}

RunConditions FileSizeLimit(unsigned long bytes) {
  RunConditions conditions;
  conditions.file_size_limit = bytes;
  return conditions;
}

void PrintTo(const RunCase& run_case, std::ostream* out) {
  *out << run_case.name;
}

class ConversionRunTest : public ::testing::TestWithParam<RunCase> {};

TEST_P(ConversionRunTest, LeavesExactlyTheExpectedFiles) {
  const RunCase& run_case = GetParam();
  if (run_case.conditions.file_size_limit && TestingWindowsProgram()) {
    GTEST_SKIP() << "the limit would bind Wine's own files too";
  }
  ScratchDir dir;
  for (const auto& [name, bytes] : run_case.before) dir.Write(name, bytes);
  std::optional<fs::file_time_type> log_time;
  if (run_case.log_time) {
    fs::last_write_time(dir / kLog, *run_case.log_time);
    log_time = fs::last_write_time(dir / kLog);  // as the file system keeps it
  }

  const RunOutcome outcome = RunConverter(dir, run_case.conditions);

  EXPECT_EQ(outcome.exit_status, run_case.exit_status);
  EXPECT_EQ(outcome.printed, "");
  // Only the report's modification time is the reading's; its access time
  // is left to the system. Looked at before anything reads the report.
  if (log_time && outcome.exit_status == 0) {
    struct stat report;
    ASSERT_EQ(::stat((dir / kReport).c_str(), &report), 0);
    EXPECT_FALSE(report.st_atim.tv_sec == report.st_mtim.tv_sec &&
                 report.st_atim.tv_nsec == report.st_mtim.tv_nsec)
        << "the report's access time was set to the reading's time";
  }
  // Most runs find no log; those make no lock file, and so end with 3 in a
  // folder that the account may not write.
  if (outcome.exit_status == 3 && !run_case.before.contains(kLock)) {
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / kLock)))
        << "a run that found no log made the lock file";
  }
  EXPECT_EQ(dir.Contents(), run_case.after);
  if (log_time && dir.Read(kLog)) {
    EXPECT_EQ(fs::last_write_time(dir / kLog), *log_time)
        << "the kept log lost its time";
  }
  if (log_time && outcome.exit_status == 0) {
    EXPECT_EQ(fs::last_write_time(dir / kReport), *log_time)
        << "the report is not dated as its reading";
  }
}

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, ConversionRunTest,
    ::testing::Values(
        RunCase{"Breezy",
                {{kLog, kFirstExampleLog}},
                0,
                {{kReport, kFirstExampleReport}}},
        // Humidity 100 is "00": two digits, as APRS decoders read it.
        RunCase{"CalmWithoutTemperature",
                {{kLog, Lines({"0", "0", "0", "N/A", "0.00", "998.5", "100"})}},
                0,
                {{kReport, Report(".../...g...t...P000b09985h00")}}},
        RunCase{
            "FrostyWithCommaRain",
            {{kLog, Lines({"45.9", "15", "22", "-4", "1,25", "1013", "7"})}},
            0,
            {{kReport, Report("045/015g022t-04P125b10130h...")}}},
        RunCase{"DirectionOfExactly100",
                {{kLog, Lines({"100", "3", "0", "0", "0", "998", "0"})}},
                0,
                {{kReport, Report("100/003g...t000P0b09980h...")}}},
        RunCase{
            "InchesOfMercury",
            {{kLog, Lines({"360", "101", "110", "-12", "2.5", "29.92", "45"})}},
            0,
            {{kReport, Report("360/101g110t-12P25b02992h45")}}}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, ConversionRunTest,
    ::testing::Values(
        RunCase{"SevenEmptyLinesGiveNoDataMarkers",
                {{kLog, "\r\n\r\n\r\n\r\n\r\n\r\n\r\n"}},
                0,
                {{kReport, Report(".../...g...t...Pb.....h...")}}},
        RunCase{"LastLineWithoutLineEnd",
                {{kLog, "270\r\n5\r\n12\r\n68.5\r\n0.12\r\n1013.2\r\n55"}},
                0,
                {{kReport, kFirstExampleReport}}},
        RunCase{"LineFeedInRainIsCarried",
                {{kLog,
                  Lines({"270", "5", "12", "68.5", "0.1\n2", "1013.2", "55"})}},
                0,
                {{kReport, Report("270/005g012t068P01\n2b10132h55")}}},
        RunCase{"OldReportReplacedWhole",
                {{kLog, kFirstExampleLog}, {kReport, std::string(5000, 'x')}},
                0,
                {{kReport, kFirstExampleReport}}},
        RunCase{"StaleScratchFileGoes",
                {{kLog, kFirstExampleLog}, {kScratch, "stale scratch"}},
                0,
                {{kReport, kFirstExampleReport}}},
        // Written by some editors; it is not part of the direction.
        RunCase{"ByteOrderMarkBeforeTheFirstLine",
                {{kLog, "\xEF\xBB\xBF" + kFirstExampleLog}},
                0,
                {{kReport, kFirstExampleReport}}},
        RunCase{"LoneCarriageReturnsEndLines",
                {{kLog, "270\r5\r12\r68.5\r0.12\r1013.2\r55\r"}},
                0,
                {{kReport, kFirstExampleReport}}},
        // The report is as old as its reading, not as the run.
        RunCase{"ReportDatedAsTheLog",
                {{kLog, kFirstExampleLog}, {kReport, kOldReport}},
                0,
                {{kReport, kFirstExampleReport}},
                {},
                HoursFromNow(-3)},
        RunCase{"LogFromTheFutureGivesAReportFromTheFuture",
                {{kLog, kFirstExampleLog}},
                0,
                {{kReport, kFirstExampleReport}},
                {},
                HoursFromNow(24)}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    EndStates, ConversionRunTest,
    ::testing::Values(
        RunCase{"NoLogTouchesNothing", {}, 3, {}},
        RunCase{"NoLogLeavesReportAndScratch",
                {{kReport, kOldReport}, {kScratch, "scratch"}},
                3,
                {{kReport, kOldReport}, {kScratch, "scratch"}}},
        RunCase{"SixLinesRejected",
                {{kLog, Lines({"1", "2", "3", "4", "5", "6"})},
                 {kReport, kOldReport},
                 {kScratch, "scratch"}},
                2,
                {{kReport, kOldReport}, {kScratch, "scratch"}}},
        RunCase{"EighthEmptyLineRejected",
                {{kLog, kFirstExampleLog + "\r\n"}, {kReport, kOldReport}},
                2,
                {{kReport, kOldReport}}},
        RunCase{"EmptyFileRejected", {{kLog, ""}}, 2, {}},
        // A run killed while it had the log set aside left it there: the
        // next run puts it back first, or deletes it if a newer log has
        // come, as the weather program's next log replaces the one before.
        RunCase{"LogSetAsideIsPutBack",
                {{kSetAside, kFirstExampleLog}, {kReport, kOldReport}},
                0,
                {{kReport, kFirstExampleReport}}},
        RunCase{"LogSetAsideGivesWayToANewerLog",
                {{kSetAside, Lines({"1", "2", "3", "4", "5", "6", "7"})},
                 {kLog, kFirstExampleLog}},
                0,
                {{kReport, kFirstExampleReport}}},
        RunCase{"RejectedLogSetAsideIsRejectedAgain",
                {{kSetAside, Lines({"1", "2", "3", "4", "5", "6"})},
                 {kReport, kOldReport}},
                2,
                {{kReport, kOldReport}}},
        // The lock file is only locked, never written: what another program
        // put in it stays.
        RunCase{
            "LockFileHoldingTextIsLeftAsItWas",
            {{kLog, kFirstExampleLog}, {kLock, "held by pid 4242\n"}},
            0,
            {{kReport, kFirstExampleReport}, {kLock, "held by pid 4242\n"}}},
        RunCase{"LineFeedsAloneMakeOneLine",
                {{kLog, "270\n5\n12\n68.5\n0.12\n1013.2\n55\n"}},
                2,
                {}},
        // The empty line is dropped, the six left cannot fill a reading; the
        // next run rejects the shortened log, which kept the log's time.
        RunCase{"EmptyLineFailsTheReading",
                {{kLog, Lines({"5", "9", "10", "105", "", "101325", "99"})},
                 {kReport, kOldReport}},
                1,
                {{kLog, Lines({"5", "9", "10", "105", "101325", "99"})},
                 {kScratch, ""},
                 {kReport, kOldReport}},
                {},
                HoursFromNow(-3)},
        RunCase{"NumberBeyondRangeFailsBeforeWriting",
                {{kLog, Lines({"1e999", "5", "12", "68", "0", "1013", "55"})},
                 {kReport, kOldReport}},
                1,
                {{kLog, Lines({"1e999", "5", "12", "68", "0", "1013", "55"})},
                 {kScratch, ""},
                 {kReport, kOldReport}}},
        RunCase{"NegativeDirectionFailsFirstPiece",
                {{kLog, Lines({"-5", "0", "12", "68", "0", "1013", "55"})}},
                1,
                {{kLog, Lines({"-5", "0", "12", "68", "0", "1013", "55"})},
                 {kScratch, kStars}}},
        RunCase{"NegativeSpeedLeavesDirection",
                {{kLog, Lines({"270", "-1", "12", "68", "0", "1013", "55"})}},
                1,
                {{kLog, Lines({"270", "-1", "12", "68", "0", "1013", "55"})},
                 {kScratch, std::string(kStars) + "270/"}}},
        // A disk that fills up (here a file-size limit) while the report is
        // written: the report that fitted is not published.
        RunCase{"ReportBeyondTheFileSizeLimitIsNotPublished",
                {{kLog, kFirstExampleLog}, {kReport, kOldReport}},
                1,
                {{kLog, kFirstExampleLog},
                 {kScratch, kFirstExampleReport.substr(0, 100)},
                 {kReport, kOldReport}},
                FileSizeLimit(100)},
        RunCase{"NegativeGustLeavesWind",
                {{kLog, Lines({"270", "5", "-12", "68", "0", "1013", "55"})},
                 {kReport, kOldReport}},
                1,
                {{kLog, Lines({"270", "5", "-12", "68", "0", "1013", "55"})},
                 {kScratch, std::string(kStars) + "270/005g"},
                 {kReport, kOldReport}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConversionRun, SecondRunWithoutNewLogKeepsReport) {
  ScratchDir dir;
  dir.Write(kLog, kFirstExampleLog);
  ASSERT_EQ(RunConverter(dir).exit_status, 0);
  EXPECT_EQ(RunConverter(dir).exit_status, 3);
  EXPECT_EQ(dir.Contents(), (Files{{kReport, kFirstExampleReport}}));
}

TEST(ConversionRun, IdenticalLogsGiveIdenticalReports) {
  ScratchDir dir;
  dir.Write(kLog, Lines({"45.9", "15", "22", "-4", "1,25", "1013", "7"}));
  ASSERT_EQ(RunConverter(dir).exit_status, 0);
  const std::string first = *dir.Read(kReport);
  dir.Write(kLog, Lines({"45.9", "15", "22", "-4", "1,25", "1013", "7"}));
  ASSERT_EQ(RunConverter(dir).exit_status, 0);
  EXPECT_EQ(*dir.Read(kReport), first);
}

TEST(ConversionRun, FirstExampleReportIs305Bytes) {
  ScratchDir dir;
  dir.Write(kLog, kFirstExampleLog);
  ASSERT_EQ(RunConverter(dir).exit_status, 0);
  EXPECT_EQ(dir.Read(kReport)->size(), 305u);
}

TEST(ConversionRun, ShortenedLogIsRejectedByTheNextRun) {
  ScratchDir dir;
  dir.Write(kLog, Lines({"5", "9", "10", "105", "", "101325", "99"}));
  ASSERT_EQ(RunConverter(dir).exit_status, 1);
  EXPECT_EQ(RunConverter(dir).exit_status, 2);
  EXPECT_EQ(dir.Contents(), (Files{{kScratch, ""}}));
}

// Runs made by an unprivileged user (root may write a read-only file), in a
// directory whose permissions the row sets; a run that keeps the log is
// followed by one with the report writable again, which publishes it.
struct PermissionCase {
  const char* name;
  fs::perms folder;  // the directory's permissions during the run
  fs::perms log;     // the log's permissions
  fs::perms report;  // the old report's permissions
  int exit_status;
  Files after;
  // The permissions of a scratch file that a failed run left, if any, and
  // whether that run was root's (as a run or a test by hand as root
  // leaves it).
  std::optional<fs::perms> scratch = {};
  bool scratch_left_by_root = false;
};

void PrintTo(const PermissionCase& permission_case, std::ostream* out) {
  *out << permission_case.name;
}

class PermissionTest : public ::testing::TestWithParam<PermissionCase> {};

constexpr fs::perms kReadOnly =
    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
constexpr fs::perms kReadWrite = kReadOnly | fs::perms::owner_write;

TEST_P(PermissionTest, EndsAsTheOperatorExpects) {
  if (TestingWindowsProgram()) GTEST_SKIP() << "POSIX file modes";
  const PermissionCase& permission_case = GetParam();
  if (permission_case.scratch_left_by_root && ::geteuid() != 0) {
    GTEST_SKIP() << "only root can leave a file of another account here";
  }
  ScratchDir dir;
  dir.Write(kLog, kFirstExampleLog);
  dir.Write(kReport, kOldReport);
  // A reading three hours old, as runs that failed since would keep it.
  fs::last_write_time(dir / kLog, HoursFromNow(-3));
  const fs::file_time_type log_time = fs::last_write_time(dir / kLog);
  fs::permissions(dir / kLog, permission_case.log);
  fs::permissions(dir / kReport, permission_case.report);
  if (permission_case.scratch) {
    dir.Write(kScratch, "left by a failed run");
    fs::permissions(dir / kScratch, *permission_case.scratch);
  }

  RunConditions unprivileged;
  unprivileged.unprivileged = true;
  if (permission_case.scratch_left_by_root) {
    unprivileged.left_by_root = {kScratch};
  }
  fs::permissions(dir.path(), permission_case.folder);
  const RunOutcome outcome = RunConverter(dir, unprivileged);
  fs::permissions(dir.path(), fs::perms::owner_all);

  EXPECT_EQ(outcome.exit_status, permission_case.exit_status);
  EXPECT_EQ(outcome.printed, "");
  EXPECT_EQ(dir.Contents(), permission_case.after);
  // Once the cause is gone, the next run publishes the kept reading. Its
  // report is as old as the reading: it must not pass for a fresh one.
  if (dir.Read(kLog)) {
    fs::permissions(dir / kReport, kReadWrite);
    EXPECT_EQ(RunConverter(dir, unprivileged).exit_status, 0);
  }
  EXPECT_EQ(dir.Contents(), (Files{{kReport, kFirstExampleReport}}));
  EXPECT_EQ(fs::last_write_time(dir / kReport), log_time);
}

INSTANTIATE_TEST_SUITE_P(
    Unprivileged, PermissionTest,
    ::testing::Values(
        PermissionCase{"ReadOnlyReportEndsTheRunWithNothingChanged",
                       fs::perms::owner_all,
                       kReadWrite,
                       kReadOnly,
                       1,
                       {{kLog, kFirstExampleLog},
                        {kScratch, kFirstExampleReport},
                        {kReport, kOldReport}}},
        // A drop folder (mode 0300): files can be made in it, but it cannot
        // be listed, nor opened to sync it.
        PermissionCase{"FolderThatCannotBeListedStillPublishes",
                       fs::perms::owner_write | fs::perms::owner_exec,
                       kReadWrite,
                       kReadWrite,
                       0,
                       {{kReport, kFirstExampleReport}}},
        // The log is only ever read; the folder's permissions decide its
        // deletion.
        PermissionCase{"ReadOnlyLogIsConverted",
                       fs::perms::owner_all,
                       kReadOnly,
                       kReadWrite,
                       0,
                       {{kReport, kFirstExampleReport}}},
        // A scratch file that the account cannot write, or not date, is
        // deleted and made anew: the folder is the station's.
        PermissionCase{"ReadOnlyScratchIsMadeAnew",
                       fs::perms::owner_all,
                       kReadWrite,
                       kReadWrite,
                       0,
                       {{kReport, kFirstExampleReport}},
                       kReadOnly},
        PermissionCase{"ScratchOfRootIsMadeAnew",
                       fs::perms::owner_all,
                       kReadWrite,
                       kReadWrite,
                       0,
                       {{kReport, kFirstExampleReport}},
                       kReadWrite,
                       true},
        // Writable by all, but only its owner may date it.
        PermissionCase{"ScratchOfRootWritableByAllIsMadeAnew",
                       fs::perms::owner_all,
                       kReadWrite,
                       kReadWrite,
                       0,
                       {{kReport, kFirstExampleReport}},
                       fs::perms::owner_read | fs::perms::owner_write |
                           fs::perms::group_read | fs::perms::group_write |
                           fs::perms::others_read | fs::perms::others_write,
                       true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConversionRun, CreatedFilesGetTheOrdinaryModeLessTheUmask) {
  if (TestingWindowsProgram()) GTEST_SKIP() << "POSIX file modes and umask";
  constexpr fs::perms kOwnerGroupWrite = kReadWrite | fs::perms::group_write;
  const struct {
    mode_t umask;
    fs::perms mode;
  } cases[] = {{022, kReadWrite}, {002, kOwnerGroupWrite}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.umask);
    ScratchDir dir;
    dir.Write(kLog, kFirstExampleLog);
    RunConditions conditions;
    conditions.umask = c.umask;
    ASSERT_EQ(RunConverter(dir, conditions).exit_status, 0);
    EXPECT_EQ(fs::status(dir / kReport).permissions() & fs::perms::all, c.mode);
  }
}

// Takes the folder's lock as a run does, waiting while a run holds it.
// Returns its descriptor, to close, or -1.
int HoldLock(const ScratchDir& dir) {
  const int lock =
      ::open((dir / kLock).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (lock >= 0 && ::flock(lock, LOCK_EX) != 0) {
    ::close(lock);
    return -1;
  }
  return lock;
}

// Another run holds the folder's lock (here the test itself): a run waits
// for it, and makes its own run once it is free, or fails without touching
// anything once its wait of about 5 seconds has run out, and not much later:
// a client that starts the program waits 15 s at most.
TEST(ConversionRun, WaitsForTheRunBeforeIt) {
  if (TestingWindowsProgram()) GTEST_SKIP() << "holds the lock as POSIX does";
  using std::chrono::seconds;
  const struct {
    const char* name;
    seconds held;  // how long the lock is held once the run has started
    int exit_status;
    Files after;
  } cases[] = {
      {"ReleasedAfterASecond", seconds(1), 0, {{kReport, kFirstExampleReport}}},
      {"HeldBeyondTheWait",
       seconds(30),
       1,
       {{kLog, kFirstExampleLog}, {kReport, kOldReport}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    dir.Write(kLog, kFirstExampleLog);
    dir.Write(kReport, kOldReport);
    const int lock = HoldLock(dir);
    ASSERT_GE(lock, 0);
    const auto started = std::chrono::steady_clock::now();
    ChildProcess run(ProgramCommand(), {.dir = dir.path(),
                                        .time_limit = kRunTimeout,
                                        .set_up = {},
                                        .tracer = {}});
    run.WaitFor({}, c.held);
    const auto waited = std::chrono::steady_clock::now() - started;
    ::close(lock);
    const RunOutcome outcome = run.Wait();
    const auto ended = std::chrono::steady_clock::now() - started;

    const std::chrono::steady_clock::duration wait =
        std::min<std::chrono::steady_clock::duration>(c.held, seconds(5));
    EXPECT_GE(waited, wait)
        << "the run ended before the lock was free or its wait was over";
    // Generous, for a busy machine, and well below a wait of 15 s.
    EXPECT_LT(ended, wait + seconds(5)) << "the run waited far too long";
    EXPECT_EQ(outcome.exit_status, c.exit_status);
    EXPECT_EQ(outcome.printed, "");
    EXPECT_EQ(dir.Contents(), c.after);
  }
}

// How many rounds each count of runs started together gets:
// BRINOK_STRESS_ROUNDS, else a few, fewer behind an emulator.
int StressRounds() {
  const char* rounds = std::getenv("BRINOK_STRESS_ROUNDS");
  if (rounds != nullptr) return std::atoi(rounds);
  return TestingThroughCommand() ? 4 : 20;
}

// The weather program's new log, written while runs go on. It takes the
// folder's lock as a run does, so that it falls between two runs, never
// inside one (a log rewritten inside a run is the fault tests' part); it
// returns how many logs the runs are to convert: 2, or 1 when the first was
// still waiting and is replaced.
int WriteNewLogBetweenRuns(const ScratchDir& dir, const std::string& log) {
  const int lock = HoldLock(dir);
  EXPECT_GE(lock, 0) << "cannot take the lock";
  const int logs = dir.Read(kLog) ? 1 : 2;
  dir.Write("new.tmp", log);
  fs::rename(dir / "new.tmp", dir / kLog);
  ::close(lock);
  return logs;
}

// Two to four runs started together on one folder, as a client and a
// scheduler may start them; natively, in every other round, the weather
// program writes a new log a moment later. However the runs interleave,
// each round ends with the report of the last log written, whole, and
// nothing else, with one status 0 for each log converted and 3 for every
// other run (a new log that comes after them all is converted by the next).
TEST(ConversionRun, RunsStartedTogetherTakeTurns) {
  const std::string new_log =
      Lines({"45.9", "15", "22", "-4", "1,25", "1013", "77"});
  const std::string new_report = Report("045/015g022t-04P125b10130h77");
  const int rounds = StressRounds();
  for (int runs = 2; runs <= 4; ++runs) {
    int wrong = 0;
    for (int round = 0; round < rounds; ++round) {
      SCOPED_TRACE(std::to_string(runs) + " runs, round " +
                   std::to_string(round));
      // The test's lock and Wine's are not the same kind.
      const bool rewritten = round % 2 == 1 && !TestingWindowsProgram();
      ScratchDir dir;
      dir.Write(kLog, kFirstExampleLog);
      dir.Write(kReport, kOldReport);
      std::vector<std::unique_ptr<ChildProcess>> started;
      for (int i = 0; i < runs; ++i) {
        started.push_back(std::make_unique<ChildProcess>(
            ProgramCommand(), ChildOptions{.dir = dir.path(),
                                           .time_limit = kRunTimeout,
                                           .set_up = {},
                                           .tracer = {}}));
      }
      int logs = 1;
      if (rewritten) {
        std::this_thread::sleep_for(std::chrono::microseconds(round % 8 * 500));
        logs = WriteNewLogBetweenRuns(dir, new_log);
      }
      std::map<int, int> statuses;
      for (const auto& run : started) {
        const RunOutcome outcome = run->Wait();
        EXPECT_EQ(outcome.printed, "");
        ++statuses[outcome.exit_status];
      }
      // A log written once every run had looked is the next run's.
      const bool left_for_the_next_run = dir.Read(kLog).has_value();
      if (left_for_the_next_run) {
        EXPECT_EQ(RunConverter(dir).exit_status, 0);
      }
      const Files after = dir.Contents();
      const Files expected = {
          {kReport, rewritten ? new_report : kFirstExampleReport}};
      if (after != expected ||
          statuses[0] + (left_for_the_next_run ? 1 : 0) != logs ||
          statuses[3] != runs - statuses[0]) {
        ++wrong;
        ADD_FAILURE() << "statuses: 0 x" << statuses[0] << " (" << logs
                      << " logs), 1 x" << statuses[1] << ", 2 x" << statuses[2]
                      << ", 3 x" << statuses[3] << "; left "
                      << ::testing::PrintToString(after);
      }
    }
    std::printf("%d runs started together: %d of %d rounds wrong\n", runs,
                wrong, rounds);
  }
}

}  // namespace
}  // namespace brinok::testing
