#ifndef BRINOK_RUN_FIELD_ENCODERS_H_
#define BRINOK_RUN_FIELD_ENCODERS_H_

#include <string>
#include <string_view>

#include "run/weather_reading.h"
#include "runtime/run_value.h"

namespace brinok {

/// The reading turned into numbers and texts, before anything is written.
struct PreparedReading {
  double dir = 0, speed = 0, gust = 0, temp = 0, hum = 0;  // whole numbers
  std::string dir_text, speed_text, gust_text, temp_text, hum_text;
  std::string rain_text;
  std::string pressure_text;
};

/// Receives the data line piece by piece, so that a field that fails leaves
/// exactly the pieces before it.
class PieceSink {
 public:
  virtual ~PieceSink() = default;
  /// `last` is true for the final piece, which ends the line.
  virtual void Piece(std::string_view text, bool last) = 0;
};

/// The text with every full stop and comma removed.
std::string StripSeparators(std::string_view text);

/// Prepares a reading: "N/A" or empty temperature becomes "999", a pressure
/// of three or four characters gains a "0", numbers are taken from the
/// texts. Raises RunFailure(kOverflow) for a number beyond the double range.
PreparedReading Prepare(const WeatherReading& reading);

/// Pads a wind value with zeros to three digits. Raises
/// RunFailure(kTypeMismatch) for a negative value.
std::string WindPadding(std::string_view signed_text);

/// The wind field: its padded digits, or "..." when `calm` (the zero test).
std::string WindPiece(std::string_view signed_text, bool calm);
std::string TemperaturePiece(double temp, std::string_view temp_text);
std::string PressurePiece(std::string_view pressure_text);
std::string HumidityPiece(double hum, std::string_view hum_text);

/// Sends the data line of a prepared reading to `sink`, piece by piece.
void EncodeDataLine(const PreparedReading& prepared, PieceSink& sink);

/// The whole data line of a reading, without its line end.
std::string DataLine(const WeatherReading& reading);

}  // namespace brinok

#endif  // BRINOK_RUN_FIELD_ENCODERS_H_
