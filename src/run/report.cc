#include "run/report.h"

#include "run/field_encoders.h"
#include "run/weather_reading.h"
#include "runtime/channels.h"
#include "runtime/file.h"

namespace brinok {
namespace {

constexpr std::string_view kBanner[] = {
    kAsteriskLine,
    "* BRINOK.EXE for UI-VIEW32 for Weather Watcher Live *",
    "* ((( QQ9QQ Amateur Radio Services )))  May/05/2009 *",
    kAsteriskLine,
};

// Prints each piece as it is made, so a field that fails leaves the pieces
// before it in the scratch file.
class ChannelSink : public PieceSink {
 public:
  explicit ChannelSink(Channels& channels) : channels_(channels) {}
  void Piece(std::string_view text, bool last) override {
    channels_.Print(kWriteChannel, text,
                    last ? PrintForm::kLine : PrintForm::kJoin);
  }

 private:
  Channels& channels_;
};

}  // namespace

void WriteReport(const WeatherReading& reading, Channels& channels) {
  // A number beyond range fails here, before any writing; a negative wind
  // value fails later, as its piece is made, after the pieces before it.
  const PreparedReading prepared = Prepare(reading);
  channels.Print(kWriteChannel, kAsteriskLine, PrintForm::kLine);
  ChannelSink sink(channels);
  EncodeDataLine(prepared, sink);
  for (std::string_view line : kBanner) {
    channels.Print(kWriteChannel, line, PrintForm::kLine);
  }
}

void PublishReport(Channels& channels) {
  // A report that cannot be written (read-only, locked) ends the run before
  // anything changes; a missing one is not created.
  if (channels.OpenAppendIfExists(kReadChannel, kReportName)) {
    channels.CloseAll();
  }
  // One atomic step: there is never a moment without a report, and a failed
  // replace leaves the old one as it was.
  RenameReplacing(kScratchName, kReportName);
  SyncCurrentDirectory();
}

}  // namespace brinok
