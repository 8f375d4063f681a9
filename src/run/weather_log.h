#ifndef BRINOK_RUN_WEATHER_LOG_H_
#define BRINOK_RUN_WEATHER_LOG_H_

#include "run/weather_reading.h"

namespace brinok {

class LineReader;
class TextWriter;

/// Counts the weather log's lines, in constant memory, and tells whether
/// there are exactly seven. A UTF-8 byte order mark at the very start is not
/// part of the first line.
bool HasSevenLines(LineReader& log);

/// Copies the weather log's lines, each ended by CR LF, leaving out the
/// empty ones. A UTF-8 byte order mark at the very start is not part of the
/// first line.
void CopyNonEmptyLines(LineReader& log, TextWriter& copy);

/// Reads the compacted log's lines into a reading, seven at a time until
/// the log ends; an empty log leaves every field empty. Raises
/// RunFailure(kPastEnd) when the log ends inside a reading.
WeatherReading ReadReading(LineReader& log);

}  // namespace brinok

#endif  // BRINOK_RUN_WEATHER_LOG_H_
