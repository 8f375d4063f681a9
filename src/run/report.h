#ifndef BRINOK_RUN_REPORT_H_
#define BRINOK_RUN_REPORT_H_

namespace brinok {

class TextWriter;
struct WeatherReading;

/// Writes the whole report: the asterisk line, the data line piece by piece,
/// then the banner. A number beyond range fails before anything is written;
/// a negative wind value fails as its piece is made, leaving the pieces
/// before it written.
void WriteReport(const WeatherReading& reading, TextWriter& report);

}  // namespace brinok

#endif  // BRINOK_RUN_REPORT_H_
