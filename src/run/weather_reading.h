#ifndef BRINOK_RUN_WEATHER_READING_H_
#define BRINOK_RUN_WEATHER_READING_H_

#include <string>

namespace brinok {

/// The seven lines of the weather log, as texts, in file order. A field that
/// no line was read into stays empty. The members carry the log's own field
/// names.
struct WeatherReading {
  std::string WindDirection;
  std::string WindSpeed;
  std::string WindGust;
  std::string Temperature;
  std::string Rain;
  std::string Pressure;
  std::string Humidity;
};

/// The file names of the run, relative to the current directory.
inline constexpr char kWeatherLogName[] = "QQ9QQ-7.Log";
inline constexpr char kScratchName[] = "SWP.TXT";
inline constexpr char kReportName[] = "BRINOK.TXT";

/// Channel of the file being read (and of the report during publication),
/// and of the file being written.
inline constexpr int kReadChannel = 1;
inline constexpr int kWriteChannel = 2;

}  // namespace brinok

#endif  // BRINOK_RUN_WEATHER_READING_H_
