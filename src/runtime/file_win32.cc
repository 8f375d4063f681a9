#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>

#include "runtime/file.h"
#include "runtime/reparse_tag.h"
#include "runtime/run_failure.h"

namespace brinok {
namespace {

// The weather-station program and the APRS client may go on reading,
// replacing or deleting a file while the run has it open; the run never
// makes them wait.
constexpr DWORD kShareAll =
    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// A lock file cannot be deleted while a run has it open, so that two runs
// never lock two different files.
constexpr DWORD kShareLock = FILE_SHARE_READ | FILE_SHARE_WRITE;
// A file opened to delete it is held from the look to the deletion: others
// may read it, but neither write to it nor rename or delete it meanwhile.
constexpr DWORD kShareHeld = FILE_SHARE_READ;
// The name itself is opened first, never the target of a link, junction or
// other reparse point, so that a link can be refused.
constexpr DWORD kOpenNameFlags =
    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
// How a file behind a reparse point that is not a link is opened: through
// the file system filter that supplies its data.
constexpr DWORD kOpenFiltered = FILE_ATTRIBUTE_NORMAL;
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
  throw RunFailure(IsMissing(error) ? FailureKind::kNotFound
                                    : FailureKind::kIo);
}

[[noreturn]] void FailWithLastError() { Fail(GetLastError()); }

BY_HANDLE_FILE_INFORMATION InformationOf(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) FailWithLastError();
  return info;
}

FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& info) {
  const auto join = [](DWORD high, DWORD low) {
    return (std::uint64_t{high} << 32) | low;
  };
  FileIdentity identity;
  identity.volume = info.dwVolumeSerialNumber;
  identity.file = join(info.nFileIndexHigh, info.nFileIndexLow);
  identity.size = join(info.nFileSizeHigh, info.nFileSizeLow);
  identity.modified.fraction = static_cast<std::int64_t>(join(
      info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime));
  return identity;
}

// The rule agrees with the system's own test of the tag.
static_assert(IsNameSurrogateTag(IO_REPARSE_TAG_SYMLINK) &&
              IsReparseTagNameSurrogate(IO_REPARSE_TAG_SYMLINK));
static_assert(IsNameSurrogateTag(IO_REPARSE_TAG_MOUNT_POINT) &&
              IsReparseTagNameSurrogate(IO_REPARSE_TAG_MOUNT_POINT));
static_assert(!IsNameSurrogateTag(IO_REPARSE_TAG_DEDUP) &&
              !IsReparseTagNameSurrogate(IO_REPARSE_TAG_DEDUP));

// The access and disposition of each mode. An output file is always a new
// one: anything at the name fails its creation, and is deleted (a regular
// file) or left as it was (anything else) before the one retry. Append
// access alone makes every write land at the end of the file, and a
// read-only or locked file is refused as for any write. A lock file is only
// read, so that one made read-only by another account locks as well.
struct Access {
  DWORD rights;
  DWORD disposition;
  DWORD share;
};

// Moves a file in one step on the same volume; copying instead
// (MOVEFILE_COPY_ALLOWED) would leave a moment with a half-written file.
// Microsoft documents MOVEFILE_WRITE_THROUGH's flush only for a move done as
// a copy and a delete, so for this rename it is asked for but not promised.
// Returns the error, or ERROR_SUCCESS.
DWORD Move(const char* from, const char* to, DWORD flags) {
  if (MoveFileExW(Widen(from).c_str(), Widen(to).c_str(),
                  flags | MOVEFILE_WRITE_THROUGH)) {
    return ERROR_SUCCESS;
  }
  return GetLastError();
}

// A symbolic link, junction or mount point is refused; any other reparse
// point stands for the file's own data.
void RequireNoLink(HANDLE named) {
  FILE_ATTRIBUTE_TAG_INFO tag;
  if (!GetFileInformationByHandleEx(named, FileAttributeTagInfo, &tag,
                                    sizeof tag)) {
    FailWithLastError();
  }
  if (IsNameSurrogateTag(tag.ReparseTag)) {
    throw RunFailure(FailureKind::kNotRegular);
  }
}

void RequireSameFile(const BY_HANDLE_FILE_INFORMATION& named,
                     const BY_HANDLE_FILE_INFORMATION& through) {
  const FileIdentity a = IdentityOf(named);
  const FileIdentity b = IdentityOf(through);
  if (a.volume != b.volume || a.file != b.file) {
    throw RunFailure(FailureKind::kNotRegular);
  }
}

}  // namespace

// Opens the name as a regular file on disk: no device, pipe or console, no
// directory, and never through a symbolic link, junction or mount point. A
// file behind any other reparse point (a cloud placeholder, a deduplicated
// or compressed file) is opened again through its filter, and must still
// be the same file. A missing name is an answer here, not a failure: no
// exception is thrown on the most common run, the one that finds no log.
std::optional<File> File::OpenRegular(const char* name, Mode mode) {
  const Access access =
      mode == Mode::kInput    ? Access{GENERIC_READ, OPEN_EXISTING, kShareAll}
      : mode == Mode::kOutput ? Access{GENERIC_WRITE, CREATE_NEW, kShareAll}
      : mode == Mode::kAppend
          ? Access{FILE_APPEND_DATA | SYNCHRONIZE, OPEN_EXISTING, kShareAll}
      : mode == Mode::kLock
          ? Access{GENERIC_READ, OPEN_ALWAYS, kShareLock}
          : Access{GENERIC_READ | DELETE, OPEN_EXISTING, kShareHeld};
  const std::wstring wide = Widen(name);
  const auto open_name = [&] {
    return File(FromHandle(
        CreateFileW(wide.c_str(), access.rights | kCheckAccess, access.share,
                    nullptr, access.disposition, kOpenNameFlags, nullptr)));
  };
  File file = open_name();
  // An output file left by an earlier process goes, even one of another
  // account, and a new one is made; once only.
  if (AsHandle(file.handle_) == INVALID_HANDLE_VALUE &&
      GetLastError() == ERROR_FILE_EXISTS && mode == Mode::kOutput) {
    RemoveRegular(name);
    file = open_name();
  }
  if (AsHandle(file.handle_) == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (IsMissing(error)) return std::nullopt;
    Fail(error);
  }
  if (GetFileType(AsHandle(file.handle_)) != FILE_TYPE_DISK) {
    throw RunFailure(FailureKind::kNotRegular);
  }
  BY_HANDLE_FILE_INFORMATION info = InformationOf(AsHandle(file.handle_));
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    throw RunFailure(FailureKind::kNotRegular);
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    RequireNoLink(AsHandle(file.handle_));
    const BY_HANDLE_FILE_INFORMATION named = info;
    // Closed first: a file held to delete it shares no deletion, not even
    // with a second handle of the run's own.
    file.Release();
    File filtered(FromHandle(
        CreateFileW(wide.c_str(), access.rights | kCheckAccess, access.share,
                    nullptr, OPEN_EXISTING, kOpenFiltered, nullptr)));
    if (AsHandle(filtered.handle_) == INVALID_HANDLE_VALUE) FailWithLastError();
    info = InformationOf(AsHandle(filtered.handle_));
    RequireSameFile(named, info);
    file = std::move(filtered);
  }
  file.identity_ = IdentityOf(info);
  return file;
}

void File::RemoveRegular(const char* name) {
  std::optional<File> file = OpenRegular(name, Mode::kToDelete);
  if (file) file->CloseAndDelete(name);
}

bool File::TryLock() {
  // One byte, which may lie beyond the end of the empty file.
  OVERLAPPED at = {};
  if (LockFileEx(AsHandle(handle_),
                 LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                 &at)) {
    return true;
  }
  if (GetLastError() == ERROR_LOCK_VIOLATION) return false;
  FailWithLastError();
}

void File::Pause(std::chrono::milliseconds time) {
  Sleep(static_cast<DWORD>(time.count()));
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

void File::SetModified(const FileTime& modified) {
  const auto ticks = static_cast<std::uint64_t>(modified.fraction);
  FILETIME written;
  written.dwLowDateTime = static_cast<DWORD>(ticks);
  written.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  // Only the last write time; the creation and access times stay.
  if (!SetFileTime(AsHandle(handle_), nullptr, nullptr, &written)) {
    FailWithLastError();
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

void File::CloseAndDelete(const char* /*name*/) {
  // Through the handle: the file deleted is the one held since it was
  // looked at, whatever is at its name. It goes when the handle closes.
  FILE_DISPOSITION_INFO disposition = {TRUE};
  if (!SetFileInformationByHandle(AsHandle(handle_), FileDispositionInfo,
                                  &disposition, sizeof disposition)) {
    FailWithLastError();
  }
  Close();
}

void RemoveFile(const char* name) {
  if (!DeleteFileW(Widen(name).c_str())) FailWithLastError();
}

bool NameExists(const char* name) {
  if (GetFileAttributesW(Widen(name).c_str()) != INVALID_FILE_ATTRIBUTES) {
    return true;
  }
  const DWORD error = GetLastError();
  if (IsMissing(error)) return false;
  Fail(error);
}

std::optional<FileIdentity> IdentityIfExists(const char* name) {
  // Attributes only: no sharing is taken from the weather program.
  const File file(FromHandle(
      CreateFileW(Widen(name).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                  OPEN_EXISTING, kOpenNameFlags, nullptr)));
  if (AsHandle(file.handle_) == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (IsMissing(error)) return std::nullopt;
    Fail(error);
  }
  return IdentityOf(InformationOf(AsHandle(file.handle_)));
}

void RenameReplacing(const char* from, const char* to) {
  const DWORD error = Move(from, to, MOVEFILE_REPLACE_EXISTING);
  if (error != ERROR_SUCCESS) Fail(error);
}

bool RenameReplacingIfExists(const char* from, const char* to) {
  const DWORD error = Move(from, to, MOVEFILE_REPLACE_EXISTING);
  if (error == ERROR_SUCCESS) return true;
  if (IsMissing(error)) return false;
  Fail(error);
}

bool RenameUnlessTaken(const char* from, const char* to) {
  // Without MOVEFILE_REPLACE_EXISTING the move fails on a taken name, in the
  // same step.
  const DWORD error = Move(from, to, 0);
  if (error == ERROR_SUCCESS) return true;
  if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) return false;
  Fail(error);
}

// Windows documents no way for a program to flush a folder's entries, so the
// renames and deletions are as durable as the file system makes them: best
// effort. What the run can do it does: each file's data is flushed before
// the rename that publishes it, so whichever name survives a power cut
// holds a whole file.
void SyncCurrentDirectory() {}

}  // namespace brinok
