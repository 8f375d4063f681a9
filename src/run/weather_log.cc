#include "run/weather_log.h"

#include <string_view>

#include "run/weather_reading.h"
#include "runtime/channels.h"
#include "runtime/run_failure.h"

namespace brinok {
namespace {

// Some editors and programs start a UTF-8 file with a byte order mark; it is
// not part of the first line.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

void RequireSameLog(const FileIdentity& now, const FileIdentity& expected) {
  if (now != expected) throw RunFailure(FailureKind::kChanged);
}

}  // namespace

LogCheck CheckWeatherLog(Channels& channels, FileIdentity& checked) {
  if (!channels.OpenInputIfExists(kReadChannel, kWeatherLogName)) {
    return LogCheck::kMissing;
  }
  // Taken before reading: whatever the weather program changes from here on
  // is seen before the log is replaced or deleted.
  checked = channels.Identity(kReadChannel);
  channels.SkipLeading(kReadChannel, kByteOrderMark);
  // Counting stops one line past seven: the verdict cannot change after it,
  // and a huge log is rejected without being read to its end.
  int count = 0;
  while (count <= kLogLines && !channels.AtEnd(kReadChannel)) {
    channels.SkipLine(kReadChannel);
    ++count;
  }
  channels.CloseAll();
  if (count == kLogLines) return LogCheck::kAccepted;
  RemoveFile(kWeatherLogName);
  return LogCheck::kRejected;
}

FileIdentity CompactWeatherLog(Channels& channels,
                               const FileIdentity& checked) {
  // The log first: if it cannot be opened, the scratch file is not touched.
  channels.OpenInput(kReadChannel, kWeatherLogName);
  channels.OpenOutput(kWriteChannel, kScratchName);
  channels.SkipLeading(kReadChannel, kByteOrderMark);
  while (!channels.AtEnd(kReadChannel)) {
    const std::string line = channels.ReadLine(kReadChannel);
    if (!line.empty()) channels.Print(kWriteChannel, line, PrintForm::kLine);
  }
  // The compacted copy is on disk before it takes the log's place, so the
  // reading is never lost, whatever ends the run.
  channels.CloseAll();
  const FileIdentity compacted = IdentityAt(kScratchName);
  // A log the weather program has written since the check stays for the
  // next run instead of being replaced by the old reading.
  RequireSameLog(IdentityAt(kWeatherLogName), checked);
  RenameReplacing(kScratchName, kWeatherLogName);
  return compacted;
}

WeatherReading ReadWeatherLog(Channels& channels,
                              const FileIdentity& compacted) {
  channels.OpenInput(kReadChannel, kWeatherLogName);
  RequireSameLog(channels.Identity(kReadChannel), compacted);
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

bool RemoveWeatherLog(const FileIdentity& compacted) {
  if (IdentityAt(kWeatherLogName) != compacted) return false;
  RemoveFile(kWeatherLogName);
  return true;
}

}  // namespace brinok
