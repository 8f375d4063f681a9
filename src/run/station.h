#ifndef BRINOK_RUN_STATION_H_
#define BRINOK_RUN_STATION_H_

#include <string_view>

namespace brinok {

/// The station's three files, relative to the current directory.
inline constexpr char kWeatherLogName[] = "QQ9QQ-7.Log";
inline constexpr char kScratchName[] = "SWP.TXT";
inline constexpr char kReportName[] = "BRINOK.TXT";

/// The number of lines a weather log must have.
inline constexpr int kLogLines = 7;

/// The first, third and last line of the report: 53 asterisks.
inline constexpr std::string_view kAsteriskLine =
    "*****************************************************";

/// The report's lines 3 to 6, below the data line.
inline constexpr std::string_view kBanner[] = {
    kAsteriskLine,
    "* BRINOK.EXE for UI-VIEW32 for Weather Watcher Live *",
    "* ((( QQ9QQ Amateur Radio Services )))  May/05/2009 *",
    kAsteriskLine,
};

}  // namespace brinok

#endif  // BRINOK_RUN_STATION_H_
