#include "run/report.h"

#include <string_view>

#include "run/field_encoders.h"
#include "run/station.h"
#include "runtime/text_writer.h"

namespace brinok {

void WriteReport(const WeatherReading& reading, TextWriter& report) {
  const PreparedReading prepared = Prepare(reading);
  report.WriteLine(kAsteriskLine);
  // Each piece is written as it is made, so a field that fails leaves the
  // pieces before it.
  EncodeDataLine(prepared,
                 [&](std::string_view piece) { report.Write(piece); });
  report.WriteLine("");
  for (std::string_view line : kBanner) report.WriteLine(line);
}

}  // namespace brinok
