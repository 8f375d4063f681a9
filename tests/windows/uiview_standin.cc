// A stand-in for UI-VIEW32 with a program as its "WX data file": what
// UI-VIEW32's help says it does before each weather beacon. It starts the
// program, waits at most 15 seconds for it to end, then reads the file of
// the same name ending in .TXT beside the program and takes its second line
// as the weather data line.
//
//   uiview_standin [--start-in-program-folder] PROGRAM
//
// The help does not say which working folder UI-VIEW32 gives the program:
// by default the program inherits the stand-in's own (as a program started
// without one named does), with --start-in-program-folder it gets the
// program's folder. Prints two lines: "ended N" with the program's exit
// status, or "still running" when it had not ended after 15 seconds; then
// "line 2: " and the second line of the .TXT, or "no line 2". Exit status:
// 0 when a second line was read, 1 when there was none (no .TXT, or a
// shorter one), 2 when the program could not be started, 64 on bad usage.

#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <string>
#include <string_view>

namespace {

constexpr DWORD kWaitMilliseconds = 15000;

bool Print(std::string_view text) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD put = 0;
  return WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &put,
                   nullptr) &&
         put == text.size();
}

// Where the file name starts in `path`: after its last \, / or drive colon.
std::size_t NameStart(const std::string& path) {
  const std::size_t separator = path.find_last_of("\\/:");
  return separator == std::string::npos ? 0 : separator + 1;
}

// "C:\WX\WXNOW.EXE" gives "C:\WX\WXNOW.TXT"; a name without an extension
// gains one.
std::string TextFileBeside(const std::string& program) {
  const std::size_t dot = program.find_last_of('.');
  const std::size_t stem_end =
      dot == std::string::npos || dot < NameStart(program) ? program.size()
                                                           : dot;
  return program.substr(0, stem_end) + ".TXT";
}

// The second line of the file `name`, lines ending in CR LF or LF alone;
// false when it cannot be read or has no second line.
bool ReadSecondLine(const std::string& name, std::string& line) {
  const HANDLE file = CreateFileA(
      name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (text.size() < (1u << 20) &&
         ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    text.append(buffer, got);
  }
  CloseHandle(file);
  const std::size_t first_end = text.find('\n');
  if (first_end == std::string::npos || first_end + 1 == text.size()) {
    return false;
  }
  std::size_t second_end = text.find('\n', first_end + 1);
  if (second_end == std::string::npos) second_end = text.size();
  line = text.substr(first_end + 1, second_end - first_end - 1);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string_view option = "--start-in-program-folder";
  const bool in_program_folder = argc == 3 && argv[1] == option;
  if (argc != 2 && !in_program_folder) return 64;
  const std::string program = argv[argc - 1];
  const std::string folder = program.substr(0, NameStart(program));

  std::string command_line = "\"" + program + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  const char* start_in =
      in_program_folder && !folder.empty() ? folder.c_str() : nullptr;
  if (!CreateProcessA(program.c_str(), command_line.data(), nullptr, nullptr,
                      FALSE, 0, nullptr, start_in, &startup, &started)) {
    return 2;
  }
  CloseHandle(started.hThread);
  DWORD status = 0;
  if (WaitForSingleObject(started.hProcess, kWaitMilliseconds) ==
          WAIT_OBJECT_0 &&
      GetExitCodeProcess(started.hProcess, &status)) {
    Print("ended " + std::to_string(status) + "\n");
  } else {
    Print("still running\n");
  }
  CloseHandle(started.hProcess);

  std::string line;
  if (!ReadSecondLine(TextFileBeside(program), line)) {
    Print("no line 2\n");
    return 1;
  }
  Print("line 2: " + line + "\n");
  return 0;
}
