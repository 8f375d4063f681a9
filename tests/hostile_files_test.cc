// Runs the built converter on directories a careless or hostile neighbour
// could leave: something other than a regular file at one of the station's
// names, logs holding every byte value, and logs far bigger than any station
// writes.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <tuple>

#include "report_fixtures.h"
#include "run_harness.h"
#include "scratch_dir.h"

namespace brinok::testing {
namespace {

namespace fs = std::filesystem;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// --- Something other than a regular file at one of the names ---------------

enum class Thing { kFifo, kDirectory, kLinkToOutsideFile, kDanglingLink };

struct ThingCase {
  const char* name;
  Thing thing;
  const char* tag;  // how ScratchDir::Contents shows it
};

// Where the thing stands, and what the run must leave around it. The run
// refuses it wherever it is and ends as a failure at that point.
struct Place {
  const char* name;
  const char* at;
  int exit_status;
  Files files_after;  // the regular files, besides the thing itself
};

constexpr ThingCase kThings[] = {
    {"Fifo", Thing::kFifo, "<fifo>"},
    {"Directory", Thing::kDirectory, "<dir>"},
    {"LinkToOutsideFile", Thing::kLinkToOutsideFile, "<link>"},
    {"DanglingLink", Thing::kDanglingLink, "<link>"},
};

const Place kPlaces[] = {
    // Refused by the check: nothing is read, written or deleted.
    {"AtLog", kLog, 1, {{kReport, kOldReport}}},
    // Refused before the log is opened.
    {"AtLock", kLock, 1, {{kLog, kFirstExampleLog}, {kReport, kOldReport}}},
    // Refused where a log that a killed run set aside is looked for.
    {"AtSetAside",
     kSetAside,
     1,
     {{kLog, kFirstExampleLog}, {kReport, kOldReport}}},
    // Refused by the compaction before anything is written.
    {"AtScratch",
     kScratch,
     1,
     {{kLog, kFirstExampleLog}, {kReport, kOldReport}}},
    // Refused at publication: the new report waits in the scratch file and
    // the log is kept for the next run.
    {"AtReport",
     kReport,
     1,
     {{kLog, kFirstExampleLog}, {kScratch, kFirstExampleReport}}},
};

void PrintTo(const ThingCase& thing_case, std::ostream* out) {
  *out << thing_case.name;
}

void PrintTo(const Place& place, std::ostream* out) { *out << place.name; }

class NotRegularFileTest
    : public ::testing::TestWithParam<std::tuple<Place, ThingCase>> {};

TEST_P(NotRegularFileTest, IsRefusedAndLeftAsItWas) {
  const auto& [place, thing_case] = GetParam();
  if (TestingWindowsProgram() && thing_case.thing != Thing::kDirectory) {
    GTEST_SKIP() << "FIFOs and symbolic links are POSIX things";
  }
  ScratchDir dir;
  ScratchDir outside;
  const fs::path target = outside / "target";
  const std::string target_text = "a file outside the directory\r\n";
  outside.Write("target", target_text);
  const fs::path at = dir / place.at;
  if (std::string(place.at) != kLog) dir.Write(kLog, kFirstExampleLog);
  if (std::string(place.at) != kReport) dir.Write(kReport, kOldReport);
  switch (thing_case.thing) {
    case Thing::kFifo:
      ASSERT_EQ(::mkfifo(at.c_str(), 0644), 0);
      break;
    case Thing::kDirectory:
      fs::create_directory(at);
      std::ofstream(at / "inside") << "inside";
      break;
    case Thing::kLinkToOutsideFile:
      fs::create_symlink(target, at);
      break;
    case Thing::kDanglingLink:
      fs::create_symlink(outside / "nowhere", at);
      break;
  }

  const RunOutcome outcome = RunConverter(dir);

  EXPECT_EQ(outcome.signal, 0) << "the run hung or crashed";
  EXPECT_EQ(outcome.exit_status, place.exit_status);
  Files expected = place.files_after;
  expected[place.at] = thing_case.tag;
  EXPECT_EQ(dir.Contents(), expected);
  // What the thing holds or points at is untouched too; a dangling link
  // did not become a way to create a file elsewhere.
  EXPECT_EQ(outside.Contents(), (Files{{"target", target_text}}));
  switch (thing_case.thing) {
    case Thing::kFifo:
      break;
    case Thing::kDirectory:
      EXPECT_EQ(dir.Read(std::string(place.at) + "/inside"), "inside");
      break;
    case Thing::kLinkToOutsideFile:
      EXPECT_EQ(fs::read_symlink(at), target);
      break;
    case Thing::kDanglingLink:
      EXPECT_EQ(fs::read_symlink(at), outside / "nowhere");
      break;
  }
}

INSTANTIATE_TEST_SUITE_P(AtEachName, NotRegularFileTest,
                         ::testing::Combine(::testing::ValuesIn(kPlaces),
                                            ::testing::ValuesIn(kThings)),
                         [](const auto& info) {
                           return std::string(std::get<1>(info.param).name) +
                                  std::get<0>(info.param).name;
                         });

// --- Any byte in the rain field ---------------------------------------------

std::string BytesFrom(int first, int last) {
  std::string bytes;
  for (int byte = first; byte <= last; ++byte) {
    // A carriage return would end the line; full stops and commas are the
    // separators the rain encoder strips.
    if (byte == '\r' || byte == '.' || byte == ',') continue;
    bytes += static_cast<char>(byte);
  }
  return bytes;
}

struct RainCase {
  const char* name;
  std::string rain;
};

void PrintTo(const RainCase& rain_case, std::ostream* out) {
  *out << rain_case.name;
}

class RainBytesTest : public ::testing::TestWithParam<RainCase> {};

TEST_P(RainBytesTest, ComeOutUnchangedInTheDataLine) {
  const std::string& rain = GetParam().rain;
  ScratchDir dir;
  dir.Write(kLog, Lines({"270", "5", "12", "68.5", rain, "1013.2", "55"}));

  const RunOutcome outcome = RunConverter(dir);

  EXPECT_EQ(outcome.exit_status, 0);
  EXPECT_EQ(
      dir.Contents(),
      (Files{{kReport, Report("270/005g012t068P" + rain + "b10132h55")}}));
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, RainBytesTest,
    ::testing::Values(
        RainCase{"NulBytes", std::string("\0"
                                         "12\0\0"
                                         "3\0",
                                         7)},
        // The old end-of-file mark of text files ends nothing here.
        RainCase{"CtrlZ",
                 "1\x1a"
                 "2\x1a"},
        // Truncated sequences, overlong forms, a surrogate, bytes never in
        // UTF-8, a lone continuation byte.
        RainCase{
            "InvalidUtf8",
            "\xc3\x28\xe2\x82\xf0\x9f\x98\xc0\xaf\xed\xa0\x80\xfe\xff\x80"},
        RainCase{"EveryByteFrom128To255", BytesFrom(128, 255)},
        RainCase{"EveryByteButLineEndAndSeparators", BytesFrom(0, 255)}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Logs far bigger than any station writes ---------------------------------

// Writes `times` copies of `chunk` into the named file.
void WriteRepeated(const fs::path& path, const std::string& chunk, int times) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  for (int i = 0; i < times; ++i) {
    ASSERT_EQ(std::fwrite(chunk.data(), 1, chunk.size(), file), chunk.size());
  }
  ASSERT_EQ(std::fclose(file), 0);
}

std::string Repeated(const std::string& piece, std::size_t times) {
  std::string text;
  text.reserve(piece.size() * times);
  for (std::size_t i = 0; i < times; ++i) text += piece;
  return text;
}

// An address space that a run of the native program fits in many times
// over, and that a log of 40 MB or more does not fit in.
constexpr unsigned long kAddressSpaceCap = 32ul << 20;

// The cap binds the program alone: not the sanitizers' runtime, which
// reserves terabytes, nor Wine or an emulator in front of the program.
class CappedRun : public ::testing::Test {
 protected:
  void SetUp() override {
    if (kSanitized) {
      GTEST_SKIP() << "the sanitizers reserve a huge address space";
    }
    if (TestingThroughCommand()) {
      GTEST_SKIP() << "the address space is the emulator's, not the program's";
    }
  }
};

RunConditions CappedConditions() {
  RunConditions conditions;
  conditions.address_space_limit = kAddressSpaceCap;
  return conditions;
}

TEST_F(CappedRun, TenMillionLinesAreRejectedInBoundedMemory) {
  ScratchDir dir;
  // 100 chunks of 100,000 lines of 10 bytes: 100,000,000 bytes.
  WriteRepeated(dir / kLog, Repeated("12345678\r\n", 100'000), 100);
  ASSERT_EQ(fs::file_size(dir / kLog), 100'000'000u);
  dir.Write(kReport, kOldReport);

  // The log is never held whole, so the run fits in a third of its size.
  const RunOutcome outcome = RunConverter(dir, CappedConditions());

  EXPECT_EQ(outcome.exit_status, 2);
  EXPECT_EQ(outcome.printed, "");
  // Compared whole, reported briefly: a 100 MB log helps no one.
  EXPECT_TRUE(dir.Contents() == (Files{{kReport, kOldReport}}))
      << "the files differ from a rejection's";
}

TEST_F(CappedRun, MemoryRunningOutIsAnOrdinaryRunFailure) {
  // A line has to be held whole, and this one does not fit under the cap.
  const std::string log = Lines(
      {"270", std::string(40'000'000, '5'), "12", "68", "0", "1013", "55"});
  ScratchDir dir;
  dir.Write(kLog, log);
  dir.Write(kReport, kOldReport);

  const RunOutcome outcome = RunConverter(dir, CappedConditions());

  EXPECT_EQ(outcome.signal, 0) << "the run was ended by a signal";
  EXPECT_EQ(outcome.exit_status, 1);
  EXPECT_EQ(outcome.printed, "");
  // As for any failure during the compaction: the log stays for the next
  // run, the scratch file holds the lines copied before, the report is
  // untouched. Compared whole, reported briefly.
  EXPECT_TRUE(
      dir.Contents() ==
      (Files{{kLog, log}, {kScratch, "270\r\n"}, {kReport, kOldReport}}))
      << "the files differ from a failed compaction's";
}

TEST(HugeLog, SparseTerabyteIsRejectedOnceItsEighthLineIsSeen) {
  // Eight lines, then a terabyte of holes: far beyond memory, and minutes
  // to read to its end, longer than a run may take.
  ScratchDir dir;
  dir.Write(kLog, Lines({"1", "2", "3", "4", "5", "6", "7", "8"}));
  std::error_code error;
  fs::resize_file(dir / kLog, std::uintmax_t{1} << 40, error);
  if (error) GTEST_SKIP() << "no sparse terabyte here: " << error.message();
  dir.Write(kReport, kOldReport);

  const RunOutcome outcome = RunConverter(dir);

  EXPECT_EQ(outcome.signal, 0)
      << "the run was ended (killed after " << kRunTimeout.count()
      << " s, if it read the log to its end)";
  EXPECT_EQ(outcome.exit_status, 2);
  // Not Contents(): a log left behind would be read whole.
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir / kLog)));
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir / kScratch)));
  EXPECT_EQ(dir.Read(kReport), kOldReport);
}

TEST(HugeLog, SevenLinesOfTenMegabytesAreConverted) {
  constexpr std::size_t kLineSize = 10'000'000;
  // Spaces do not exist for the number fields, so each value is padded to
  // the full line size; the rain is taken as it stands.
  const auto padded = [&](const std::string& value) {
    return value + std::string(kLineSize - value.size(), ' ') + "\r\n";
  };
  const std::string rain = Repeated("0123456789", kLineSize / 10);
  ScratchDir dir;
  {
    std::ofstream log(dir / kLog, std::ios::binary);
    log << padded("270") << padded("5") << padded("12") << padded("68.5")
        << rain << "\r\n"
        << padded("1013.2") << padded("55");
    ASSERT_TRUE(log.good());
  }
  ASSERT_EQ(fs::file_size(dir / kLog), 7 * (kLineSize + 2));
  dir.Write(kReport, kOldReport);

  const RunOutcome outcome = RunConverter(dir);

  EXPECT_EQ(outcome.exit_status, 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir / kLog)));
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir / kScratch)));
  const std::optional<std::string> report = dir.Read(kReport);
  ASSERT_TRUE(report.has_value());
  const std::string expected = Report("270/005g012t068P" + rain + "b10132h55");
  EXPECT_EQ(report->size(), expected.size());
  // Compared whole, but reported briefly: a 10 MB diff helps no one.
  EXPECT_TRUE(*report == expected)
      << "the report differs from the expected one at byte "
      << std::mismatch(report->begin(), report->end(), expected.begin(),
                       expected.end())
                 .first -
             report->begin();
}

}  // namespace
}  // namespace brinok::testing
