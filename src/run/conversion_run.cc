#include "run/conversion_run.h"

#include "run/report.h"
#include "run/weather_log.h"
#include "run/weather_reading.h"
#include "runtime/channels.h"
#include "runtime/file.h"
#include "runtime/run_failure.h"

namespace brinok {

ExitStatus RunConversion() noexcept {
  Channels channels;
  bool checking = true;
  try {
    if (!CheckWeatherLog(channels)) return ExitStatus::kRejected;
    checking = false;
    CompactWeatherLog(channels);
    const WeatherReading reading = ReadWeatherLog(channels);
    WriteReport(reading, channels);
    channels.CloseAll();
    PublishReport(channels);
    // Only now, with the report that carries it on disk, the reading goes.
    RemoveFile(kWeatherLogName);
    return ExitStatus::kPublished;
  } catch (const RunFailure& failure) {
    // The single failure handler: whatever is on disk now is what the next
    // run finds.
    channels.End();
    const bool no_log = checking && failure.kind() == FailureKind::kNotFound;
    return no_log ? ExitStatus::kNoLog : ExitStatus::kFailed;
  }
}

}  // namespace brinok
