// Holds a file open the way another program can lock the report: with no
// sharing at all, so nobody else may open, replace or delete it meanwhile.
//
//   hold_open NAME
//
// Opens NAME (which must exist), prints "held" on its standard output once
// the file is held, and keeps it until its standard input ends. Exit status:
// 0 after holding the file, 2 when NAME cannot be opened, 64 on bad usage.

#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

namespace {

bool WriteAll(HANDLE out, const char* text, DWORD size) {
  DWORD put = 0;
  return WriteFile(out, text, size, &put, nullptr) && put == size;
}

// Returns when the standard input ends or can no longer be read.
void WaitForEndOfInput() {
  const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  char buffer[64];
  DWORD got = 0;
  while (ReadFile(in, buffer, sizeof buffer, &got, nullptr) && got > 0) {
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 64;
  const HANDLE held =
      CreateFileA(argv[1], GENERIC_READ, /*dwShareMode=*/0, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (held == INVALID_HANDLE_VALUE) return 2;
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (!WriteAll(out, "held\n", 5)) return 2;
  WaitForEndOfInput();
  CloseHandle(held);
  return 0;
}
