#ifndef BRINOK_TESTS_REPORT_FIXTURES_H_
#define BRINOK_TESTS_REPORT_FIXTURES_H_

#include <initializer_list>
#include <map>
#include <string>

namespace brinok::testing {

/// A directory's files by name, with their bytes.
using Files = std::map<std::string, std::string>;

inline constexpr char kLog[] = "QQ9QQ-7.Log";
inline constexpr char kScratch[] = "SWP.TXT";
inline constexpr char kReport[] = "BRINOK.TXT";
inline constexpr char kLock[] = "BRINOK.LCK";
/// Where a run sets the log aside before it deletes it.
inline constexpr char kSetAside[] = "BRINOK.DEL";
inline constexpr char kStars[] =
    "*****************************************************\r\n";

/// The lines, each ended by CR LF.
inline std::string Lines(std::initializer_list<std::string> lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

/// The whole six-line report around a data line.
inline std::string Report(const std::string& data_line) {
  return std::string(kStars) + data_line + "\r\n" + kStars +
         "* BRINOK.EXE for UI-VIEW32 for Weather Watcher Live *\r\n"
         "* ((( QQ9QQ Amateur Radio Services )))  May/05/2009 *\r\n" +
         kStars;
}

inline const std::string kFirstExampleLog =
    Lines({"270", "5", "12", "68.5", "0.12", "1013.2", "55"});
inline const std::string kFirstExampleReport =
    Report("270/005g012t068P012b10132h55");
inline const std::string kOldReport = "an old report\r\n";

}  // namespace brinok::testing

#endif  // BRINOK_TESTS_REPORT_FIXTURES_H_
