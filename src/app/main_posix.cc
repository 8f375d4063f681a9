// The entry on POSIX systems: one conversion run in the current directory.
// Arguments and environment are not read; nothing is printed.

#include "run/conversion_run.h"

int main() { return static_cast<int>(brinok::RunConversion()); }
