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

// Owns a handle until it is released to a File.
class OwnedHandle {
 public:
  explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
  ~OwnedHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;

  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  HANDLE Release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }

 private:
  HANDLE handle_;
};

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
  identity.modified_fraction = static_cast<std::int64_t>(join(
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

// An open regular file and its identity; a missing name has no handle.
struct Opened {
  HANDLE handle = INVALID_HANDLE_VALUE;
  FileIdentity identity;
};

// Opens the name as a regular file on disk: no device, pipe or console, no
// directory, and never through a symbolic link, junction or mount point. A
// file behind any other reparse point (a cloud placeholder, a deduplicated
// or compressed file) is opened again through its filter, and must still
// be the same file. With `if_exists`, a missing name gives no handle
// instead of a failure.
Opened OpenRegular(const std::wstring& name, DWORD access, DWORD disposition,
                   bool if_exists = false) {
  OwnedHandle named(CreateFileW(name.c_str(), access | kCheckAccess, kShareAll,
                                nullptr, disposition, kOpenNameFlags, nullptr));
  if (!named.valid()) {
    const DWORD error = GetLastError();
    if (if_exists && IsMissing(error)) return {};
    FailToOpen(name, error);
  }
  if (GetFileType(named.get()) != FILE_TYPE_DISK) {
    throw RunFailure(FailureKind::kNotRegular);
  }
  const BY_HANDLE_FILE_INFORMATION info = InformationOf(named.get());
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    throw RunFailure(FailureKind::kNotRegular);
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return {named.Release(), IdentityOf(info)};
  }
  FILE_ATTRIBUTE_TAG_INFO tag;
  if (!GetFileInformationByHandleEx(named.get(), FileAttributeTagInfo, &tag,
                                    sizeof tag)) {
    FailWithLastError();
  }
  if (IsNameSurrogateTag(tag.ReparseTag)) {
    throw RunFailure(FailureKind::kNotRegular);
  }
  OwnedHandle filtered(CreateFileW(name.c_str(), access | kCheckAccess,
                                   kShareAll, nullptr, OPEN_EXISTING,
                                   kOpenFiltered, nullptr));
  if (!filtered.valid()) FailToOpen(name, GetLastError());
  const FileIdentity named_file = IdentityOf(info);
  const FileIdentity identity = IdentityOf(InformationOf(filtered.get()));
  if (identity.volume != named_file.volume ||
      identity.file != named_file.file) {
    throw RunFailure(FailureKind::kNotRegular);
  }
  return {filtered.Release(), identity};
}

}  // namespace

File File::OpenInput(const char* name) {
  const Opened opened = OpenRegular(Widen(name), GENERIC_READ, OPEN_EXISTING);
  return File(FromHandle(opened.handle), opened.identity);
}

std::optional<File> File::OpenInputIfExists(const char* name) {
  // A missing name is an answer here, not a failure: no exception is thrown
  // on the most common run, the one that finds no log.
  const Opened opened =
      OpenRegular(Widen(name), GENERIC_READ, OPEN_EXISTING, /*if_exists=*/true);
  if (opened.handle == INVALID_HANDLE_VALUE) return std::nullopt;
  return File(FromHandle(opened.handle), opened.identity);
}

File File::OpenOutput(const char* name) {
  // Opened without truncating, and emptied only once it is known to be a
  // regular file: anything else at the name is left as it was.
  const Opened opened = OpenRegular(Widen(name), GENERIC_WRITE, OPEN_ALWAYS);
  File file(FromHandle(opened.handle), opened.identity);
  // A new handle is at offset 0, so this cuts the file to nothing.
  if (!SetEndOfFile(AsHandle(file.handle_))) FailWithLastError();
  return file;
}

std::optional<File> File::OpenAppendIfExists(const char* name) {
  // Append access alone: every write lands at the end of the file, and a
  // read-only or locked file is refused as for any write.
  const Opened opened =
      OpenRegular(Widen(name), FILE_APPEND_DATA | SYNCHRONIZE, OPEN_EXISTING,
                  /*if_exists=*/true);
  if (opened.handle == INVALID_HANDLE_VALUE) return std::nullopt;
  return File(FromHandle(opened.handle), opened.identity);
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

FileIdentity IdentityAt(const char* name) {
  // Attributes only: no sharing is taken from the weather program.
  OwnedHandle handle(CreateFileW(Widen(name).c_str(), FILE_READ_ATTRIBUTES,
                                 kShareAll, nullptr, OPEN_EXISTING,
                                 kOpenNameFlags, nullptr));
  if (!handle.valid()) FailWithLastError();
  return IdentityOf(InformationOf(handle.get()));
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
