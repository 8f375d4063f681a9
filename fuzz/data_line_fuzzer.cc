// Decodes arbitrary log bytes into a reading and encodes its data line, in
// memory: the lines are split as the reader splits them, empty lines dropped
// as the compaction drops them, and seven lines make the reading. The data
// line must then be a well-formed sequence of field pieces, or the encoding
// must fail for the reasons a reading can fail for.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "run/field_encoders.h"
#include "run/weather_reading.h"
#include "runtime/number_text.h"
#include "runtime/run_failure.h"

namespace {

using ::brinok::EncodeDataLine;
using ::brinok::FailureKind;
using ::brinok::NumberFromText;
using ::brinok::Prepare;
using ::brinok::RunFailure;
using ::brinok::WeatherReading;
using ::brinok::fuzz::Check;
using ::brinok::fuzz::RoundTo15Digits;

constexpr std::size_t kLogLines = 7;
constexpr std::string_view kNoData = "...";

// The non-empty lines of a log: a line ends at a carriage return, which
// takes a line feed right after it along; a lone line feed stays in it.
std::vector<std::string> NonEmptyLines(std::string_view bytes) {
  std::vector<std::string> lines;
  while (!bytes.empty()) {
    const std::size_t cr = bytes.find('\r');
    if (cr != 0) lines.emplace_back(bytes.substr(0, cr));
    if (cr == std::string_view::npos) break;
    bytes.remove_prefix(cr + 1);
    if (!bytes.empty() && bytes.front() == '\n') bytes.remove_prefix(1);
  }
  return lines;
}

std::string WithoutSeparators(std::string_view text) {
  std::string kept;
  for (char c : text) {
    if (c != '.' && c != ',') kept += c;
  }
  return kept;
}

// The number of a field, or nothing when its text overflows.
std::optional<double> Number(std::string_view text) {
  try {
    return NumberFromText(text);
  } catch (const RunFailure&) {
    return std::nullopt;
  }
}

std::optional<double> Whole(std::string_view text) {
  const std::optional<double> number = Number(text);
  if (!number) return std::nullopt;
  return std::floor(*number);
}

// The field values the data line must carry, taken straight from the texts.
struct Expected {
  std::optional<double> dir, speed, gust, temp, hum;  // whole numbers
  std::optional<double> pressure;

  bool Overflows() const {
    return !dir || !speed || !gust || !temp || !hum || !pressure;
  }
  bool NegativeWind() const { return *dir < 0 || *speed < 0 || *gust < 0; }
};

Expected ExpectedValues(const WeatherReading& reading) {
  Expected expected;
  expected.dir = Whole(reading.WindDirection);
  expected.speed = Whole(reading.WindSpeed);
  expected.gust = Whole(reading.WindGust);
  const bool no_temperature =
      reading.Temperature.empty() || reading.Temperature == "N/A";
  expected.temp = Whole(no_temperature ? "999" : reading.Temperature);
  expected.hum = Whole(reading.Humidity);
  std::string pressure = reading.Pressure;
  if (pressure.size() == 3 || pressure.size() == 4) pressure += '0';
  expected.pressure = Number(WithoutSeparators(pressure));
  return expected;
}

bool IsNumberPiece(std::string_view piece) {
  return !piece.empty() &&
         piece.find_first_not_of("0123456789-+.E") == std::string_view::npos;
}

bool IsDigits(std::string_view piece) {
  return !piece.empty() &&
         piece.find_first_not_of("0123456789") == std::string_view::npos;
}

// A piece that is not the no-data marker shows the whole number of its
// field, three characters wide when the number lies in [low, 999].
void CheckCarries(std::string_view piece, double whole, double low,
                  const char* property) {
  Check(IsNumberPiece(piece), property);
  Check(NumberFromText(piece) == RoundTo15Digits(whole), property);
  if (whole >= low && whole <= 999) Check(piece.size() == 3, property);
}

// Splits off the piece before `separator`, searching from the front.
std::string_view TakeUntil(std::string_view& line, char separator) {
  const std::size_t at = line.find(separator);
  Check(at != std::string_view::npos, "the field letters stand in order");
  const std::string_view piece = line.substr(0, at);
  line.remove_prefix(at + 1);
  return piece;
}

void CheckDataLine(const WeatherReading& reading, const Expected& expected,
                   std::string_view line) {
  Check(line.find('\r') == std::string_view::npos,
        "no carriage return in the data line");
  const std::string rain = WithoutSeparators(reading.Rain);
  Check(std::count(line.begin(), line.end(), '\n') ==
            std::count(rain.begin(), rain.end(), '\n'),
        "a line feed comes only from the rain");

  // Wind, gust and temperature pieces hold no field letter, so the letters
  // up to the rain are found from the front; the rain may hold any of them,
  // so the pressure and humidity are found from the back.
  std::string_view rest = line;
  const std::string_view dir = TakeUntil(rest, '/');
  const std::string_view speed = TakeUntil(rest, 'g');
  const std::string_view gust = TakeUntil(rest, 't');
  const std::string_view temp = TakeUntil(rest, 'P');
  const std::size_t h = rest.rfind('h');
  Check(h != std::string_view::npos && h >= 6 && rest[h - 6] == 'b',
        "the rain is followed by b, five pressure characters and h");
  Check(rest.substr(0, h - 6) == rain,
        "the rain is written without its separators");
  const std::string_view pressure = rest.substr(h - 5, 5);
  const std::string_view hum = rest.substr(h + 1);

  const bool calm = *expected.speed == 0;
  Check((speed == kNoData) == calm, "a speed below 1 is the no-data marker");
  Check((dir == kNoData) == calm, "a calm wind hides the direction");
  Check((gust == kNoData) == (*expected.gust == 0),
        "a gust below 1 is the no-data marker");
  if (!calm) {
    CheckCarries(dir, *expected.dir, 0, "the direction piece shows its number");
    CheckCarries(speed, *expected.speed, 0, "the speed piece shows its number");
    Check(dir.size() >= 3 && speed.size() >= 3, "wind pieces are padded");
  }
  if (gust != kNoData) {
    CheckCarries(gust, *expected.gust, 0, "the gust piece shows its number");
    Check(gust.size() >= 3, "wind pieces are padded");
  }
  Check((temp == kNoData) == (*expected.temp == 999),
        "only a temperature of 999 is the no-data marker");
  if (temp != kNoData) {
    CheckCarries(temp, *expected.temp, -99,
                 "the temperature piece shows its number");
  }
  Check(pressure == "....." || IsNumberPiece(pressure),
        "the pressure piece is five number characters or the marker");
  if (IsDigits(pressure)) {
    Check(NumberFromText(pressure) == *expected.pressure,
          "a pressure of five digits is the pressure number");
  }
  const double humidity = *expected.hum;
  if (std::fabs(humidity) < 10) {
    Check(hum == kNoData, "a humidity of one digit is the no-data marker");
  } else if (humidity >= 10 && humidity < 100) {
    Check(hum.size() == 2 && IsDigits(hum) && NumberFromText(hum) == humidity,
          "a humidity of two digits is written as its digits");
  } else {
    Check(hum == kNoData || (IsNumberPiece(hum) && hum.size() >= 2),
          "the humidity piece is digits or the marker");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::vector<std::string> lines = NonEmptyLines(
      std::string_view(reinterpret_cast<const char*>(data), size));
  // A compacted log of one to six lines fails at its first missing line;
  // more than seven cannot pass the log check, so the first seven stand in.
  if (!lines.empty() && lines.size() < kLogLines) return 0;
  WeatherReading reading;
  if (!lines.empty()) {
    reading = WeatherReading{lines[0], lines[1], lines[2], lines[3],
                             lines[4], lines[5], lines[6]};
  }
  const Expected expected = ExpectedValues(reading);

  std::string line;
  try {
    EncodeDataLine(Prepare(reading),
                   [&](std::string_view piece) { line.append(piece); });
  } catch (const RunFailure& failure) {
    if (expected.Overflows()) {
      Check(failure.kind() == FailureKind::kOverflow,
            "a field beyond the double range fails by overflow");
    } else {
      Check(expected.NegativeWind() &&
                failure.kind() == FailureKind::kTypeMismatch,
            "only a negative wind value fails, by type mismatch");
    }
    return 0;
  }
  Check(!expected.Overflows(), "a field beyond the double range fails");
  Check(!expected.NegativeWind(), "a negative wind value fails");
  CheckDataLine(reading, expected, line);
  return 0;
}
