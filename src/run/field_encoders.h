#ifndef BRINOK_RUN_FIELD_ENCODERS_H_
#define BRINOK_RUN_FIELD_ENCODERS_H_

#include <functional>
#include <string>
#include <string_view>

#include "run/weather_reading.h"

namespace brinok {

/// A reading's values, taken from its texts before anything is written.
struct PreparedReading {
  double dir = 0, speed = 0, gust = 0, temp = 0, hum = 0;  // whole numbers
  std::string rain;      // the rain text without full stops and commas
  std::string pressure;  // the pressure's digits, five for a valid reading
};

/// Prepares a reading: an empty or "N/A" temperature stands for no data, a
/// pressure of three or four characters gains a trailing "0", and the
/// numbers are read from the texts and rounded down. Raises
/// RunFailure(kOverflow) for a number beyond the double range in any field
/// but the rain.
PreparedReading Prepare(const WeatherReading& reading);

/// Makes the APRS weather data line of a prepared reading, without its line
/// end, and hands it to `write` piece by piece, such as "270", "/", "005".
/// Raises RunFailure(kTypeMismatch) for a negative wind direction, speed or
/// gust, after handing over the pieces before that field.
void EncodeDataLine(const PreparedReading& prepared,
                    const std::function<void(std::string_view)>& write);

}  // namespace brinok

#endif  // BRINOK_RUN_FIELD_ENCODERS_H_
