#include "run/conversion_run.h"

#include "run/report.h"
#include "run/weather_log.h"
#include "run/weather_reading.h"
#include "runtime/channels.h"
#include "runtime/file.h"

namespace brinok {

ExitStatus RunConversion() noexcept {
  Channels channels;
  try {
    FileIdentity checked;
    switch (CheckWeatherLog(channels, checked)) {
      case LogCheck::kMissing:
        return ExitStatus::kNoLog;
      case LogCheck::kRejected:
        return ExitStatus::kRejected;
      case LogCheck::kAccepted:
        break;
    }
    const FileIdentity compacted = CompactWeatherLog(channels, checked);
    const WeatherReading reading = ReadWeatherLog(channels, compacted);
    WriteReport(reading, channels);
    channels.CloseAll();
    PublishReport(channels);
    // Only now, with the report that carries it on disk, the reading goes;
    // a log written during the run stays for the next one.
    RemoveWeatherLog(compacted);
    return ExitStatus::kPublished;
  } catch (...) {
    // The single failure handler, for a failing file or value and for
    // anything else (memory running out included): whatever is on disk now
    // is what the next run finds.
    channels.End();
    return ExitStatus::kFailed;
  }
}

}  // namespace brinok
