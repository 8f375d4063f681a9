#include "run/field_encoders.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "runtime/number_text.h"
#include "runtime/run_failure.h"
#include "runtime/text.h"

namespace brinok {
namespace {

constexpr std::string_view kNoData = "...";
constexpr std::string_view kNoPressure = ".....";
// What a temperature of no data is taken as.
constexpr double kNoTemperature = 999;

double WholeNumber(std::string_view text) {
  return std::floor(NumberFromText(text));
}

std::string Joined(std::string_view prefix, std::string_view text) {
  std::string joined(prefix);
  joined.append(text);
  return joined;
}

std::string StripSeparators(std::string_view text) {
  std::string stripped;
  stripped.reserve(text.size());
  std::copy_if(text.begin(), text.end(), std::back_inserter(stripped),
               [](char c) { return c != '.' && c != ','; });
  return stripped;
}

// Zeros in front up to three digits: 0 to 9 gain two, 10 to 99 one. A
// negative value cannot be padded and fails the run.
std::string WindPadding(double value) {
  if (value < 0) throw RunFailure(FailureKind::kTypeMismatch);
  if (value < 10) return Joined("00", PlainText(value));
  if (value < 100) return Joined("0", PlainText(value));
  return PlainText(value);
}

// The padding comes first: a negative value fails even when hidden.
std::string WindPiece(double value, bool no_data) {
  std::string padded = WindPadding(value);
  return no_data ? std::string(kNoData) : padded;
}

std::string TemperaturePiece(double temp) {
  if (temp == kNoTemperature) return std::string(kNoData);
  if (temp > 0 && temp < 10) return Joined("00", PlainText(temp));
  if (temp >= 10 && temp < 100) return Joined("0", PlainText(temp));
  if (temp >= 100) return PlainText(temp);
  if (temp == 0) return "000";
  if (temp > -10) return Joined("-0", PlainText(-temp));
  return PlainText(temp);
}

std::string PressurePiece(const std::string& pressure) {
  return pressure.size() == 5 ? pressure : std::string(kNoPressure);
}

// Two digits carry 10 to 99 per cent, and "00" stands for 100.
std::string HumidityPiece(double hum) {
  if (hum == 100) return "00";
  if (hum >= 10 && hum < 100) return PlainText(hum);
  return std::string(kNoData);
}

}  // namespace

PreparedReading Prepare(const WeatherReading& reading) {
  const bool no_temperature =
      reading.Temperature.empty() || reading.Temperature == "N/A";
  std::string pressure = reading.Pressure;
  // Integer readings in hectopascals gain the tenths digit.
  const std::size_t pressure_length = TextLength(pressure);
  if (pressure_length == 4 || pressure_length == 3) pressure += '0';

  PreparedReading prepared;
  prepared.dir = WholeNumber(reading.WindDirection);
  prepared.gust = WholeNumber(reading.WindGust);
  prepared.speed = WholeNumber(reading.WindSpeed);
  prepared.temp =
      no_temperature ? kNoTemperature : WholeNumber(reading.Temperature);
  const double p = NumberFromText(StripSeparators(pressure));
  prepared.hum = WholeNumber(reading.Humidity);
  prepared.rain = StripSeparators(reading.Rain);
  prepared.pressure = p < 10000 ? Joined("0", PlainText(p)) : PlainText(p);
  return prepared;
}

void EncodeDataLine(const PreparedReading& prepared,
                    const std::function<void(std::string_view)>& write) {
  // A calm wind has no direction either.
  const bool calm = prepared.speed == 0;
  write(WindPiece(prepared.dir, calm));
  write("/");
  write(WindPiece(prepared.speed, calm));
  write("g");
  write(WindPiece(prepared.gust, prepared.gust == 0));
  write("t");
  write(TemperaturePiece(prepared.temp));
  write("P");
  write(prepared.rain);
  write("b");
  write(PressurePiece(prepared.pressure));
  write("h");
  write(HumidityPiece(prepared.hum));
}

}  // namespace brinok
