#ifndef BRINOK_RUN_REPORT_H_
#define BRINOK_RUN_REPORT_H_

#include <string_view>

namespace brinok {

class Channels;
struct WeatherReading;

/// The first, third and last line of the report: 53 asterisks.
inline constexpr std::string_view kAsteriskLine =
    "*****************************************************";

/// Writes the whole report on the write channel: the asterisk line, the data
/// line piece by piece, then the banner. A field that fails leaves the pieces
/// before it printed.
void WriteReport(const WeatherReading& reading, Channels& channels);

/// Puts the closed scratch file in place of the report in one atomic step,
/// after making sure an existing report can be written: a report that cannot
/// be opened for appending ends the run with nothing changed.
void PublishReport(Channels& channels);

}  // namespace brinok

#endif  // BRINOK_RUN_REPORT_H_
