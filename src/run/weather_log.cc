#include "run/weather_log.h"

#include <string>
#include <string_view>

#include "run/station.h"
#include "runtime/line_reader.h"
#include "runtime/text_writer.h"

namespace brinok {
namespace {

// Some editors and programs start a UTF-8 file with one.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

bool HasSevenLines(LineReader& log) {
  log.SkipLeading(kByteOrderMark);
  // Counting stops one line past seven: the verdict cannot change after it,
  // and a huge log is rejected without being read to its end.
  int count = 0;
  while (count <= kLogLines && !log.AtEnd()) {
    log.SkipLine();
    ++count;
  }
  return count == kLogLines;
}

void CopyNonEmptyLines(LineReader& log, TextWriter& copy) {
  log.SkipLeading(kByteOrderMark);
  while (!log.AtEnd()) {
    const std::string line = log.ReadLine();
    if (!line.empty()) copy.WriteLine(line);
  }
}

WeatherReading ReadReading(LineReader& log) {
  WeatherReading reading;
  std::string* const fields[] = {&reading.WindDirection, &reading.WindSpeed,
                                 &reading.WindGust,      &reading.Temperature,
                                 &reading.Rain,          &reading.Pressure,
                                 &reading.Humidity};
  while (!log.AtEnd()) {
    for (std::string* field : fields) *field = log.ReadLine();
  }
  return reading;
}

}  // namespace brinok
