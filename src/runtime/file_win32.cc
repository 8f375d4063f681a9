#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <algorithm>
#include <string>

#include "runtime/file.h"
#include "runtime/run_failure.h"

namespace brinok {
namespace {

// The weather-station program and the APRS client may go on reading,
// replacing or deleting a file while the run has it open; the run never
// makes them wait.
constexpr DWORD kShareAll =
    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// The name itself is opened, never the target of a link, junction or other
// reparse point, so that it can be refused below.
constexpr DWORD kOpenFlags =
    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
// The regular-file check reads the attributes of every handle.
constexpr DWORD kCheckAccess = FILE_READ_ATTRIBUTES;
// ReadFile and WriteFile take a 32-bit count.
constexpr std::size_t kMaxTransfer = 1u << 30;

HANDLE AsHandle(std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

std::intptr_t FromHandle(HANDLE handle) {
  return reinterpret_cast<std::intptr_t>(handle);
}

// The file names are ASCII literals: each byte is one UTF-16 unit.
std::wstring Widen(const char* name) {
  std::wstring wide;
  for (; *name != '\0'; ++name) {
    wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*name)));
  }
  return wide;
}

bool IsMissing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

[[noreturn]] void Fail(DWORD error) {
  throw RunFailure(IsMissing(error) ? FailureKind::kNotFound : FailureKind::kIo,
                   static_cast<int>(error));
}

[[noreturn]] void FailWithLastError() { Fail(GetLastError()); }

// A directory cannot be opened as a file at all; it is told apart from other
// refusals only to name the failure rightly.
[[noreturn]] void FailToOpen(const std::wstring& name, DWORD error) {
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    throw RunFailure(FailureKind::kNotRegular, static_cast<int>(error));
  }
  Fail(error);
}

// Only a regular file on disk is used: no device, pipe or console, no
// directory and no link or other reparse point.
void RequireRegular(HANDLE handle) {
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    throw RunFailure(FailureKind::kNotRegular);
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) FailWithLastError();
  constexpr DWORD kNotRegular =
      FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  if ((info.dwFileAttributes & kNotRegular) != 0) {
    throw RunFailure(FailureKind::kNotRegular);
  }
}

}  // namespace

File File::OpenInput(const char* name) {
  const std::wstring wide = Widen(name);
  const HANDLE handle =
      CreateFileW(wide.c_str(), GENERIC_READ | kCheckAccess, kShareAll, nullptr,
                  OPEN_EXISTING, kOpenFlags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) FailToOpen(wide, GetLastError());
  File file(FromHandle(handle));
  RequireRegular(handle);
  return file;
}

File File::OpenOutput(const char* name) {
  // Opened without truncating, and emptied only once it is known to be a
  // regular file: anything else at the name is left as it was.
  const std::wstring wide = Widen(name);
  const HANDLE handle =
      CreateFileW(wide.c_str(), GENERIC_WRITE | kCheckAccess, kShareAll,
                  nullptr, OPEN_ALWAYS, kOpenFlags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) FailToOpen(wide, GetLastError());
  File file(FromHandle(handle));
  RequireRegular(handle);
  // A new handle is at offset 0, so this cuts the file to nothing.
  if (!SetEndOfFile(handle)) FailWithLastError();
  return file;
}

std::optional<File> File::OpenAppendIfExists(const char* name) {
  // Append access alone: every write lands at the end of the file, and a
  // read-only or locked file is refused as for any write.
  const std::wstring wide = Widen(name);
  const HANDLE handle =
      CreateFileW(wide.c_str(), FILE_APPEND_DATA | SYNCHRONIZE | kCheckAccess,
                  kShareAll, nullptr, OPEN_EXISTING, kOpenFlags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (IsMissing(error)) return std::nullopt;
    FailToOpen(wide, error);
  }
  File file(FromHandle(handle));
  RequireRegular(handle);
  return file;
}

void File::Release() noexcept {
  if (handle_ != kNoHandle) CloseHandle(AsHandle(handle_));
  handle_ = kNoHandle;
}

std::size_t File::Read(char* buffer, std::size_t size) {
  DWORD got = 0;
  const auto want = static_cast<DWORD>(std::min(size, kMaxTransfer));
  if (!ReadFile(AsHandle(handle_), buffer, want, &got, nullptr)) {
    FailWithLastError();
  }
  return got;
}

void File::Write(const char* data, std::size_t size) {
  while (size > 0) {
    DWORD put = 0;
    const auto chunk = static_cast<DWORD>(std::min(size, kMaxTransfer));
    if (!WriteFile(AsHandle(handle_), data, chunk, &put, nullptr)) {
      FailWithLastError();
    }
    if (put == 0) throw RunFailure(FailureKind::kIo);
    data += put;
    size -= put;
  }
}

void File::Sync() {
  if (!FlushFileBuffers(AsHandle(handle_))) FailWithLastError();
}

void File::Close() {
  const HANDLE handle = AsHandle(handle_);
  handle_ = kNoHandle;
  if (!CloseHandle(handle)) FailWithLastError();
}

void RemoveFile(const char* name) {
  if (!DeleteFileW(Widen(name).c_str())) FailWithLastError();
}

void RenameReplacing(const char* from, const char* to) {
  // One step on the same volume; copying instead (MOVEFILE_COPY_ALLOWED)
  // would leave a moment with a half-written report. Written through, so the
  // new name is durable when the call returns.
  if (!MoveFileExW(Widen(from).c_str(), Widen(to).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    FailWithLastError();
  }
}

// RenameReplacing writes its change through, and deletions need nothing more
// to be as durable as the run requires.
void SyncCurrentDirectory() {}

}  // namespace brinok
