#include "run/field_encoders.h"

#include <algorithm>
#include <iterator>

#include "runtime/number_text.h"
#include "runtime/run_value.h"
#include "runtime/text.h"

namespace brinok {
namespace {

constexpr std::string_view kNoData = "...";
constexpr std::string_view kNoPressure = ".....";

double WholeNumber(std::string_view text) {
  return GreatestInteger(NumberFromText(text));
}

// The digits of a whole number, with its minus sign.
std::string Digits(double whole) {
  return std::string(LeftTrim(SignedText(whole)));
}

std::string Prefixed(std::string_view prefix, std::string_view text) {
  std::string joined(prefix);
  joined.append(text);
  return joined;
}

}  // namespace

std::string StripSeparators(std::string_view text) {
  std::string stripped;
  stripped.reserve(text.size());
  std::copy_if(text.begin(), text.end(), std::back_inserter(stripped),
               [](char c) { return c != '.' && c != ','; });
  return stripped;
}

PreparedReading Prepare(const WeatherReading& reading) {
  std::string temperature = reading.Temperature;
  if (temperature.empty() || temperature == "N/A") temperature = "999";
  std::string pressure = reading.Pressure;
  // Integer readings in hectopascals gain the tenths digit.
  const std::size_t pressure_length = TextLength(pressure);
  if (pressure_length == 4 || pressure_length == 3) pressure += '0';

  PreparedReading prepared;
  prepared.dir = WholeNumber(reading.WindDirection);
  prepared.gust = WholeNumber(reading.WindGust);
  prepared.speed = WholeNumber(reading.WindSpeed);
  prepared.temp = WholeNumber(temperature);
  const double p = NumberFromText(StripSeparators(pressure));
  prepared.hum = WholeNumber(reading.Humidity);
  prepared.dir_text = SignedText(prepared.dir);
  prepared.speed_text = SignedText(prepared.speed);
  prepared.gust_text = SignedText(prepared.gust);
  prepared.temp_text = SignedText(prepared.temp);
  prepared.rain_text = StripSeparators(reading.Rain);
  prepared.pressure_text = p < 10000 ? Prefixed("0", Digits(p)) : Digits(p);
  prepared.hum_text = SignedText(prepared.hum);
  return prepared;
}

std::string WindPadding(std::string_view signed_text) {
  // Each test sees the text the one before left; a negative value becomes
  // "00-n", which the next test cannot read as a number and so fails.
  RunValue v{std::string(signed_text)};
  if (v < 10) v = RunValue(Prefixed("00", LeftTrim(v.Text())));
  if (v < 100 && v >= 10) v = RunValue(Prefixed("0", LeftTrim(v.Text())));
  if (v > 100) v = RunValue(std::string(LeftTrim(v.Text())));
  return std::string(LeftTrim(v.Text()));
}

std::string WindPiece(std::string_view signed_text, bool calm) {
  std::string padded = WindPadding(signed_text);
  return calm ? std::string(kNoData) : padded;
}

std::string TemperaturePiece(double temp, std::string_view temp_text) {
  if (temp == 999) return std::string(kNoData);
  if (temp > 0 && temp < 10) return Prefixed("00", Digits(temp));
  if (temp >= 10 && temp < 100) return Prefixed("0", Digits(temp));
  if (temp >= 100) return Digits(temp);
  if (temp == 0) return Prefixed("00", Digits(temp));
  if (temp > -10) {
    return Prefixed("-0", Absolute(RunValue(std::string(temp_text))).Text());
  }
  return Digits(temp);
}

std::string PressurePiece(std::string_view pressure_text) {
  return pressure_text.size() == 5 ? std::string(pressure_text)
                                   : std::string(kNoPressure);
}

std::string HumidityPiece(double hum, std::string_view hum_text) {
  // Two digits carry 10 to 99 per cent, and "00" stands for 100.
  if (hum == 100) return "00";
  if (hum_text.size() <= 2 || hum > 100 || hum <= -10) {
    return std::string(kNoData);
  }
  return Digits(hum);
}

void EncodeDataLine(const PreparedReading& prepared, PieceSink& sink) {
  const bool calm = prepared.speed == 0;
  sink.Piece(WindPiece(prepared.dir_text, calm), false);
  sink.Piece("/", false);
  sink.Piece(WindPiece(prepared.speed_text, calm), false);
  sink.Piece("g", false);
  sink.Piece(WindPiece(prepared.gust_text, prepared.gust == 0), false);
  sink.Piece("t", false);
  sink.Piece(TemperaturePiece(prepared.temp, prepared.temp_text), false);
  sink.Piece("P", false);
  sink.Piece(prepared.rain_text, false);
  sink.Piece("b", false);
  sink.Piece(PressurePiece(prepared.pressure_text), false);
  sink.Piece("h", false);
  sink.Piece(HumidityPiece(prepared.hum, prepared.hum_text), true);
}

std::string DataLine(const WeatherReading& reading) {
  class Collector : public PieceSink {
   public:
    void Piece(std::string_view text, bool) override { line.append(text); }
    std::string line;
  } collector;
  EncodeDataLine(Prepare(reading), collector);
  return collector.line;
}

}  // namespace brinok
