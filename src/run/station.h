#ifndef BRINOK_RUN_STATION_H_
#define BRINOK_RUN_STATION_H_

#include <chrono>
#include <string_view>

namespace brinok {

/// The station's files, relative to the current directory.
inline constexpr char kWeatherLogName[] = "QQ9QQ-7.Log";
inline constexpr char kScratchName[] = "SWP.TXT";
inline constexpr char kReportName[] = "BRINOK.TXT";
/// Held by the run that converts, so that runs started together take turns.
inline constexpr char kLockName[] = "BRINOK.LCK";
/// Where the run moves the log to look at it once more before deleting it; a
/// run killed in between leaves it there, and the next run puts it back.
inline constexpr char kSetAsideName[] = "BRINOK.DEL";

/// How long a run waits for the one before it: a normal run takes
/// milliseconds, and a client that starts the program itself may wait no
/// more than 15 seconds for it.
inline constexpr std::chrono::seconds kLockWait{5};

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
