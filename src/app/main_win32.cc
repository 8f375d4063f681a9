// The entry on Windows: a GUI-subsystem program, so no console window opens,
// and it creates no window of its own. One conversion run in the current
// directory; the command line is not read and nothing is shown.

#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include "run/conversion_run.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  return static_cast<int>(brinok::RunConversion());
}
