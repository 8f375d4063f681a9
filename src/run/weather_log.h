#ifndef BRINOK_RUN_WEATHER_LOG_H_
#define BRINOK_RUN_WEATHER_LOG_H_

#include "runtime/file.h"

namespace brinok {

class Channels;
struct WeatherReading;

/// The number of lines a weather log must have.
inline constexpr int kLogLines = 7;

/// What the check made of the weather log.
enum class LogCheck {
  kAccepted,  // seven lines
  kRejected,  // any other number of lines; the log has been deleted
  kMissing,   // there is no weather log; nothing was touched
};

/// Counts the weather log's lines, in constant memory, and stores in
/// `checked` the identity of the log it counted. A log without exactly seven
/// lines is deleted.
LogCheck CheckWeatherLog(Channels& channels, FileIdentity& checked);

/// Rewrites the weather log without its empty lines, through the scratch file
/// that then replaces it atomically: the log is never absent. Raises
/// RunFailure(kChanged), leaving the log as it is, when it is no longer the
/// one that was `checked`. Returns the identity of the compacted log.
FileIdentity CompactWeatherLog(Channels& channels, const FileIdentity& checked);

/// Opens the `compacted` log for reading and the scratch file for writing,
/// and reads the seven lines into a reading; an empty log leaves every field
/// empty. Raises RunFailure(kChanged) when another file has taken the log's
/// place, and RunFailure(kPastEnd) when the log ends inside a reading.
WeatherReading ReadWeatherLog(Channels& channels,
                              const FileIdentity& compacted);

/// Deletes the weather log if it is still the `compacted` one; a log written
/// since is kept for the next run. Returns whether it was deleted.
bool RemoveWeatherLog(const FileIdentity& compacted);

}  // namespace brinok

#endif  // BRINOK_RUN_WEATHER_LOG_H_
