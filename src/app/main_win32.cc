// The entry on Windows: a GUI-subsystem program, so no console window opens,
// and it creates no window of its own. One conversion run in the current
// directory; the command line is not read and nothing is shown.

#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cstdlib>

#include "run/conversion_run.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // An unattended station has nobody to click a dialog away: no "insert a
  // disk" or "cannot open file" box from the system, no fault report, and no
  // abort message box from the C runtime, whatever happens.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX |
               SEM_NOOPENFILEERRORBOX);
  _set_error_mode(_OUT_TO_STDERR);
#if defined(_UCRT) || defined(_MSC_VER)
  // Only the Universal C runtime has these; the older one has no fault
  // report to switch off.
  _set_abort_behavior(0, _WRITE_ABORT_MSG | _CALL_REPORTFAULT);
#endif
  return static_cast<int>(brinok::RunConversion());
}
