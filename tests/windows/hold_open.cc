// Holds a file open the way another program can: with no sharing at all, as
// a program can lock the report, so nobody else may open, replace or delete
// it meanwhile; or for writing, sharing reading, renaming and deleting, as a
// weather program that rewrites the log in place may hold it.
//
//   hold_open NAME [write]
//
// Opens NAME (which must exist), prints "held" on its standard output once
// the file is held, and keeps it until its standard input ends. Exit status:
// 0 after holding the file, 2 when NAME cannot be opened, 64 on bad usage.

#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <string_view>

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
  const bool write = argc == 3 && std::string_view(argv[2]) == "write";
  if (argc != 2 && !write) return 64;
  const HANDLE held =
      CreateFileA(argv[1], write ? GENERIC_WRITE : GENERIC_READ,
                  write ? FILE_SHARE_READ | FILE_SHARE_DELETE : 0, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (held == INVALID_HANDLE_VALUE) return 2;
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (!WriteAll(out, "held\n", 5)) return 2;
  WaitForEndOfInput();
  CloseHandle(held);
  return 0;
}
