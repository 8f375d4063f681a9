#ifndef BRINOK_RUN_WEATHER_LOG_H_
#define BRINOK_RUN_WEATHER_LOG_H_

namespace brinok {

class Channels;
struct WeatherReading;

/// The number of lines a weather log must have.
inline constexpr int kLogLines = 7;

/// Counts the weather log's lines, in constant memory. Returns true when it
/// has exactly seven; otherwise the log is deleted and false returned.
bool CheckWeatherLog(Channels& channels);

/// Rewrites the weather log without its empty lines, through the scratch file
/// that then replaces it atomically: the log is never absent.
void CompactWeatherLog(Channels& channels);

/// Opens the log for reading and the scratch file for writing, and reads the
/// seven lines into a reading; an empty log leaves every field empty. Raises
/// RunFailure(kPastEnd) when the log ends inside a reading.
WeatherReading ReadWeatherLog(Channels& channels);

}  // namespace brinok

#endif  // BRINOK_RUN_WEATHER_LOG_H_
