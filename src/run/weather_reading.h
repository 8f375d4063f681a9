#ifndef BRINOK_RUN_WEATHER_READING_H_
#define BRINOK_RUN_WEATHER_READING_H_

#include <string>

namespace brinok {

/// The seven lines of the weather log, as texts, in file order. A field that
/// no line was read into stays empty. The members carry the names the
/// station gives the lines.
struct WeatherReading {
  std::string WindDirection;
  std::string WindSpeed;
  std::string WindGust;
  std::string Temperature;
  std::string Rain;
  std::string Pressure;
  std::string Humidity;
};

}  // namespace brinok

#endif  // BRINOK_RUN_WEATHER_READING_H_
