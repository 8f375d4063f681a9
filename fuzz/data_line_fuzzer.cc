// Makes a whole conversion run on arbitrary log bytes, in a folder held in
// memory, and encodes the reading that the run's own steps take from the
// same log with the field encoders alone. Whatever the bytes:
//   - the run ends as the encoders say: rejected unless the log has seven
//     lines, failed when the reading or its encoding fails, published
//     otherwise, with the encoders' data line as the report's second line in
//     a frame that is the same for every reading;
//   - the data line has the shape of an APRS weather report: the field
//     letters at fixed places among its pieces, the no-data markers or
//     numbers of the allowed characters, three characters for a wind or
//     temperature value in its usual range, five for the pressure, two
//     digits for the humidity, each number the one its field was prepared
//     with;
//   - the same bytes give the same run and the same data line again.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "memory_folder.h"
#include "run/conversion_run.h"
#include "run/field_encoders.h"
#include "run/station.h"
#include "run/weather_log.h"
#include "run/weather_reading.h"
#include "runtime/file.h"
#include "runtime/line_reader.h"
#include "runtime/number_text.h"
#include "runtime/run_failure.h"
#include "runtime/text_writer.h"

namespace {

using ::brinok::ExitStatus;
using ::brinok::FailureKind;
using ::brinok::File;
using ::brinok::LineReader;
using ::brinok::NumberFromText;
using ::brinok::PreparedReading;
using ::brinok::RunFailure;
using ::brinok::WeatherReading;
using ::brinok::fuzz::Check;
using ::brinok::fuzz::RoundTo15Digits;
using Files = std::map<std::string, std::string>;

constexpr std::string_view kNoData = "...";
constexpr std::string_view kNoPressure = ".....";
constexpr char kOldReport[] = "an old report\r\n";
// The pieces between the fields, at the odd places of the data line.
constexpr std::string_view kLetters[] = {"/", "g", "t", "P", "b", "h"};

struct Run {
  ExitStatus status;
  Files after;

  friend bool operator==(const Run&, const Run&) = default;
};

Run RunOn(std::string_view log) {
  brinok::fuzz::ResetFolder({{brinok::kWeatherLogName, std::string(log)},
                             {brinok::kReportName, kOldReport}});
  const ExitStatus status = brinok::RunConversion();
  Files after = brinok::fuzz::FolderFiles();
  Check(after.count(brinok::kLockName) == 1 &&
            after.at(brinok::kLockName).empty(),
        "a run on a log leaves the lock file, empty");
  after.erase(brinok::kLockName);
  return {status, after};
}

// The reading the run takes from the log, through its own steps: the check,
// the compaction, the reading. Nothing when the log is not seven lines;
// raises RunFailure when the reading fails.
std::optional<WeatherReading> ReadingOf(std::string_view log) {
  brinok::fuzz::ResetFolder({{"log", std::string(log)}});
  LineReader check(File::OpenInput("log"));
  if (!brinok::HasSevenLines(check)) return std::nullopt;
  {
    LineReader in(File::OpenInput("log"));
    brinok::TextWriter out(File::OpenOutput("compacted"));
    brinok::CopyNonEmptyLines(in, out);
    out.Commit({});
  }
  LineReader compacted(File::OpenInput("compacted"));
  return brinok::ReadReading(compacted);
}

// Encodes the data line into `pieces`, piece by piece.
void Encode(const PreparedReading& prepared, std::vector<std::string>& pieces) {
  brinok::EncodeDataLine(
      prepared, [&](std::string_view piece) { pieces.emplace_back(piece); });
}

bool MadeOf(std::string_view piece, std::string_view allowed) {
  return piece.find_first_not_of(allowed) == std::string_view::npos;
}

// A number piece: of the allowed characters, at least `width` long, exactly
// that when the number lies in [low, 999], and reading back as the number.
void CheckNumber(std::string_view piece, double number, std::size_t width,
                 double low, std::string_view allowed, const char* property) {
  Check(piece != kNoData && piece.size() >= width && MadeOf(piece, allowed),
        property);
  Check(NumberFromText(piece) == RoundTo15Digits(number), property);
  if (number >= low && number <= 999) Check(piece.size() == width, property);
}

void CheckWind(std::string_view piece, double number, bool no_data) {
  Check(number == std::floor(number) && number >= 0,
        "an encoded wind value is a whole number, not negative");
  if (no_data) {
    Check(piece == kNoData, "a wind value of no data is the marker");
  } else {
    CheckNumber(piece, number, 3, 0, "0123456789.E+",
                "a wind piece is its number, three digits up to 999");
  }
}

void CheckDataLine(const PreparedReading& prepared,
                   const std::vector<std::string>& pieces) {
  Check(pieces.size() == 13, "thirteen pieces");
  for (std::size_t i = 0; i < 6; ++i) {
    Check(pieces[2 * i + 1] == kLetters[i], "the letters at their places");
  }
  const bool calm = prepared.speed == 0;
  CheckWind(pieces[0], prepared.dir, calm);
  CheckWind(pieces[2], prepared.speed, calm);
  CheckWind(pieces[4], prepared.gust, prepared.gust == 0);
  const std::string& temp = pieces[6];
  Check(prepared.temp == std::floor(prepared.temp),
        "the temperature is a whole number");
  Check((temp == kNoData) == (prepared.temp == 999),
        "only a temperature of 999 is the marker");
  if (temp != kNoData) {
    CheckNumber(temp, prepared.temp, 3, -99, "-0123456789.E+",
                "a temperature is its number, three characters from -99");
  }
  Check(pieces[8] == prepared.rain &&
            pieces[8].find_first_of(".,") == std::string::npos,
        "the rain is carried without full stops and commas");
  const std::string& pressure = pieces[10];
  Check(pressure.size() == 5, "the pressure piece is five characters");
  Check(pressure == (prepared.pressure.size() == 5 ? prepared.pressure
                                                   : std::string(kNoPressure)),
        "the pressure is its five characters or the marker");
  const std::string& hum = pieces[12];
  if (hum != kNoData) {
    Check(hum.size() == 2 && MadeOf(hum, "0123456789"),
          "the humidity is two digits or the marker");
    Check(
        hum == "00" ? prepared.hum == 100 : NumberFromText(hum) == prepared.hum,
        "the humidity shows its number, 100 as 00");
  }
}

// The report around the data line: the same for every reading.
void CheckFrame(const std::string& report, const std::string& line) {
  static std::optional<std::string> frame;
  const std::size_t start = report.find("\r\n") + 2;
  Check(start > 1 && report.compare(start, line.size(), line) == 0 &&
            report.compare(start + line.size(), 2, "\r\n") == 0,
        "the data line is the report's second line");
  const std::string around =
      report.substr(0, start) + report.substr(start + line.size());
  if (!frame) frame = around;
  Check(around == *frame, "the report's frame is the same for every reading");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string_view log(reinterpret_cast<const char*>(data), size);
  const Run run = RunOn(log);
  Check(RunOn(log) == run, "the same log gives the same run");
  const bool failed = run.status == ExitStatus::kFailed &&
                      run.after.count(brinok::kWeatherLogName) == 1 &&
                      run.after.count(brinok::kReportName) == 1 &&
                      run.after.at(brinok::kReportName) == kOldReport;

  std::optional<WeatherReading> reading;
  try {
    reading = ReadingOf(log);
  } catch (const RunFailure& failure) {
    Check(failure.kind() == FailureKind::kPastEnd,
          "a reading fails only where the log ends inside it");
    Check(failed, "a reading that fails fails the run, which keeps the log");
    return 0;
  }
  if (!reading) {
    Check(run.status == ExitStatus::kRejected &&
              run.after == Files{{brinok::kReportName, kOldReport}},
          "a log that is not seven lines is rejected and deleted");
    return 0;
  }

  std::optional<PreparedReading> prepared;
  std::vector<std::string> pieces;
  try {
    prepared = brinok::Prepare(*reading);
  } catch (const RunFailure& failure) {
    Check(failure.kind() == FailureKind::kOverflow,
          "preparing fails only by overflow");
    Check(failed, "a reading that cannot be prepared fails the run");
    return 0;
  }
  try {
    Encode(*prepared, pieces);
  } catch (const RunFailure& failure) {
    Check(failure.kind() == FailureKind::kTypeMismatch,
          "encoding fails only by type mismatch");
    const double wind[] = {prepared->dir, prepared->speed, prepared->gust};
    Check(pieces.size() % 2 == 0 && pieces.size() <= 4 &&
              wind[pieces.size() / 2] < 0,
          "encoding fails at a negative wind value, after the pieces before");
    Check(failed, "a reading that cannot be encoded fails the run");
    return 0;
  }
  CheckDataLine(*prepared, pieces);
  std::vector<std::string> again;
  Encode(brinok::Prepare(*reading), again);
  Check(again == pieces, "the same reading gives the same data line");

  std::string line;
  for (const std::string& piece : pieces) line += piece;
  Check(run.status == ExitStatus::kPublished && run.after.size() == 1 &&
            run.after.count(brinok::kReportName) == 1,
        "a reading that encodes is published, and the log deleted");
  CheckFrame(run.after.at(brinok::kReportName), line);
  return 0;
}
