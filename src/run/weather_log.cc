#include "run/weather_log.h"

#include "run/weather_reading.h"
#include "runtime/channels.h"
#include "runtime/file.h"

namespace brinok {

bool CheckWeatherLog(Channels& channels) {
  channels.OpenInput(kReadChannel, kWeatherLogName);
  // Counting stops one line past seven: the verdict cannot change after it,
  // and a huge log is rejected without being read to its end.
  int count = 0;
  while (count <= kLogLines && !channels.AtEnd(kReadChannel)) {
    channels.SkipLine(kReadChannel);
    ++count;
  }
  channels.CloseAll();
  if (count == kLogLines) return true;
  RemoveFile(kWeatherLogName);
  return false;
}

void CompactWeatherLog(Channels& channels) {
  // The log first: if it cannot be opened, the scratch file is not touched.
  channels.OpenInput(kReadChannel, kWeatherLogName);
  channels.OpenOutput(kWriteChannel, kScratchName);
  while (!channels.AtEnd(kReadChannel)) {
    const std::string line = channels.ReadLine(kReadChannel);
    if (!line.empty()) channels.Print(kWriteChannel, line, PrintForm::kLine);
  }
  // The compacted copy is on disk before it takes the log's place, so the
  // reading is never lost, whatever ends the run.
  channels.CloseAll();
  RenameReplacing(kScratchName, kWeatherLogName);
}

WeatherReading ReadWeatherLog(Channels& channels) {
  channels.OpenInput(kReadChannel, kWeatherLogName);
  channels.OpenOutput(kWriteChannel, kScratchName);
  WeatherReading reading;
  std::string* const fields[] = {&reading.WindDirection, &reading.WindSpeed,
                                 &reading.WindGust,      &reading.Temperature,
                                 &reading.Rain,          &reading.Pressure,
                                 &reading.Humidity};
  while (!channels.AtEnd(kReadChannel)) {
    for (std::string* field : fields) *field = channels.ReadLine(kReadChannel);
  }
  return reading;
}

}  // namespace brinok
