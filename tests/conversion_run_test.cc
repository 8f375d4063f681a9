// Runs the built converter in fresh directories and checks the exit status and
// every file it leaves behind, byte for byte.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

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
};

void PrintTo(const RunCase& run_case, std::ostream* out) {
  *out << run_case.name;
}

class ConversionRunTest : public ::testing::TestWithParam<RunCase> {};

TEST_P(ConversionRunTest, LeavesExactlyTheExpectedFiles) {
  const RunCase& run_case = GetParam();
  ScratchDir dir;
  for (const auto& [name, bytes] : run_case.before) dir.Write(name, bytes);

  const RunOutcome outcome = RunConverter(dir);

  EXPECT_EQ(outcome.exit_status, run_case.exit_status);
  EXPECT_EQ(outcome.printed, "");
  EXPECT_EQ(dir.Contents(), run_case.after);
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
        RunCase{"StaleScratchFileIsUsedAndGone",
                {{kLog, kFirstExampleLog}, {kScratch, "stale scratch"}},
                0,
                {{kReport, kFirstExampleReport}}},
        RunCase{"LoneCarriageReturnsEndLines",
                {{kLog, "270\r5\r12\r68.5\r0.12\r1013.2\r55\r"}},
                0,
                {{kReport, kFirstExampleReport}}}),
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
        RunCase{"LineFeedsAloneMakeOneLine",
                {{kLog, "270\n5\n12\n68.5\n0.12\n1013.2\n55\n"}},
                2,
                {}},
        // The empty line is dropped, the six left cannot fill a reading; the
        // next run rejects the shortened log.
        RunCase{"EmptyLineFailsTheReading",
                {{kLog, Lines({"5", "9", "10", "105", "", "101325", "99"})},
                 {kReport, kOldReport}},
                1,
                {{kLog, Lines({"5", "9", "10", "105", "101325", "99"})},
                 {kScratch, ""},
                 {kReport, kOldReport}}},
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

TEST(ConversionRun, ReadOnlyReportEndsTheRunWithNothingChanged) {
  if (TestingWindowsProgram()) GTEST_SKIP() << "POSIX file modes";
  ScratchDir dir;
  dir.Write(kLog, kFirstExampleLog);
  dir.Write(kReport, kOldReport);
  fs::permissions(dir / kReport, fs::perms::owner_read | fs::perms::group_read |
                                     fs::perms::others_read);
  // Root may write a read-only file, so as root the run is made as nobody,
  // in a directory of its own.
  std::string command = BRINOK_PROGRAM;
  if (::geteuid() == 0) {
    constexpr uid_t kNobody = 65534;
    ASSERT_EQ(::chown(dir.path().c_str(), kNobody, kNobody), 0);
    command = "setpriv --reuid=65534 --regid=65534 --clear-groups " + command;
  }
  const char* given = std::getenv("BRINOK_TEST_COMMAND");
  const std::string saved = given ? given : "";
  ::setenv("BRINOK_TEST_COMMAND", command.c_str(), 1);
  const RunOutcome outcome = RunConverter(dir);
  ::setenv("BRINOK_TEST_COMMAND", saved.c_str(), 1);

  EXPECT_EQ(outcome.exit_status, 1);
  EXPECT_EQ(dir.Contents(), (Files{{kLog, kFirstExampleLog},
                                   {kScratch, kFirstExampleReport},
                                   {kReport, kOldReport}}));
}

TEST(ConversionRun, CreatedFilesGetTheOrdinaryMode) {
  if (TestingWindowsProgram()) GTEST_SKIP() << "POSIX file modes and umask";
  ScratchDir dir;
  dir.Write(kLog, kFirstExampleLog);
  const mode_t old_mask = ::umask(022);
  const int status = RunConverter(dir).exit_status;
  ::umask(old_mask);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(fs::status(dir / kReport).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write |
                fs::perms::group_read | fs::perms::others_read);
}

}  // namespace
}  // namespace brinok::testing
