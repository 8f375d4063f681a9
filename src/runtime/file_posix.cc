#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

#include "runtime/file.h"
#include "runtime/run_failure.h"

namespace brinok {
namespace {

// Never through a symbolic link; never kept open in a child process; never
// waiting on a FIFO that has no writer (or reader).
constexpr int kOpenFlags = O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
// Files the run creates get the ordinary mode, less the umask.
constexpr mode_t kCreateMode = 0666;

[[noreturn]] void Fail(int error) {
  throw RunFailure(error == ENOENT ? FailureKind::kNotFound
                   : error == ELOOP || error == EISDIR || error == ENXIO
                       ? FailureKind::kNotRegular
                       : FailureKind::kIo);
}

[[noreturn]] void FailWithErrno() { Fail(errno); }

// macOS names the modification time differently.
const struct timespec& ModificationTime(const struct stat& status) {
#if defined(__APPLE__)
  return status.st_mtimespec;
#else
  return status.st_mtim;
#endif
}

// The program installs no signal handler: a signal ends it, stops it or is
// ignored, and the system restarts a file call that a signal comes in on
// (Linux's EINTR after a stop and SIGCONT spares file calls). So no call
// here fails with EINTR, and none is retried for it.
int OpenName(const char* name, int flags) {
  return ::open(name, flags | kOpenFlags, kCreateMode);
}

FileIdentity IdentityOf(const struct stat& status) {
  FileIdentity identity;
  identity.volume = static_cast<std::uint64_t>(status.st_dev);
  identity.file = static_cast<std::uint64_t>(status.st_ino);
  identity.size = static_cast<std::uint64_t>(status.st_size);
  identity.modified.seconds = ModificationTime(status).tv_sec;
  identity.modified.fraction = ModificationTime(status).tv_nsec;
  return identity;
}

}  // namespace

// A missing name is an answer here, not a failure: no exception is thrown on
// the most common run, the one that finds no log.
std::optional<File> File::OpenRegular(const char* name, Mode mode) {
  // O_EXCL creates the output file or fails on anything at the name, a link
  // included. A lock file is opened for writing where it may be, as NFS
  // locks only such files.
  const int flags = mode == Mode::kOutput   ? O_WRONLY | O_CREAT | O_EXCL
                    : mode == Mode::kAppend ? O_WRONLY | O_APPEND
                    : mode == Mode::kLock   ? O_RDWR | O_CREAT
                                            : O_RDONLY;
  int fd = OpenName(name, flags);
  // An output file left by an earlier process goes, even one that this
  // account may not write or date (another account's), and a new one is
  // made; once only: a file that comes back at once is not the caller's.
  if (fd < 0 && errno == EEXIST && mode == Mode::kOutput) {
    RemoveRegular(name);
    fd = OpenName(name, flags);
  }
  // A lock file that another account made read-only still locks on a local
  // file system.
  if (fd < 0 && errno == EACCES && mode == Mode::kLock) {
    fd = OpenName(name, O_RDONLY | O_CREAT);
  }
  if (fd < 0 && errno == ENOENT) return std::nullopt;
  if (fd < 0) FailWithErrno();
  File file(fd);
  struct stat status;
  if (::fstat(fd, &status) != 0) FailWithErrno();
  // Anything but a regular file is left untouched.
  if (!S_ISREG(status.st_mode)) throw RunFailure(FailureKind::kNotRegular);
  file.identity_ = IdentityOf(status);
  return file;
}

void File::RemoveRegular(const char* name) {
  // Looked at, not opened: a file that this account may not read can still
  // be deleted from a folder it may write.
  struct stat status;
  if (::lstat(name, &status) != 0) {
    if (errno == ENOENT) return;
    FailWithErrno();
  }
  if (!S_ISREG(status.st_mode)) throw RunFailure(FailureKind::kNotRegular);
  if (::unlink(name) != 0 && errno != ENOENT) FailWithErrno();
}

bool File::TryLock() {
  if (::flock(static_cast<int>(handle_), LOCK_EX | LOCK_NB) == 0) return true;
  if (errno == EWOULDBLOCK) return false;
  FailWithErrno();
}

void File::Pause(std::chrono::milliseconds time) {
  std::this_thread::sleep_for(time);
}

void File::Release() noexcept {
  if (handle_ != kNoHandle) ::close(static_cast<int>(handle_));
  handle_ = kNoHandle;
}

std::size_t File::Read(char* buffer, std::size_t size) {
  const ssize_t got = ::read(static_cast<int>(handle_), buffer, size);
  if (got < 0) FailWithErrno();
  return static_cast<std::size_t>(got);
}

void File::Write(const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t put = ::write(static_cast<int>(handle_), data, size);
    if (put < 0) FailWithErrno();
    if (put == 0) throw RunFailure(FailureKind::kIo);
    data += put;
    size -= static_cast<std::size_t>(put);
  }
}

void File::SetModified(const FileTime& modified) {
  const struct timespec times[2] = {{0, UTIME_OMIT},
                                    {static_cast<time_t>(modified.seconds),
                                     static_cast<long>(modified.fraction)}};
  if (::futimens(static_cast<int>(handle_), times) != 0) FailWithErrno();
}

void File::Sync() {
  if (::fsync(static_cast<int>(handle_)) != 0) FailWithErrno();
}

void File::Close() {
  const int fd = static_cast<int>(handle_);
  handle_ = kNoHandle;
  // Not retried on EINTR: the descriptor is gone either way on Linux.
  if (::close(fd) != 0) FailWithErrno();
}

void File::CloseAndDelete(const char* name) {
  Close();
  RemoveFile(name);
}

void RemoveFile(const char* name) {
  if (::unlink(name) != 0) FailWithErrno();
}

bool NameExists(const char* name) { return IdentityIfExists(name).has_value(); }

std::optional<FileIdentity> IdentityIfExists(const char* name) {
  struct stat status;
  if (::lstat(name, &status) == 0) return IdentityOf(status);
  if (errno == ENOENT) return std::nullopt;
  FailWithErrno();
}

void RenameReplacing(const char* from, const char* to) {
  if (std::rename(from, to) != 0) FailWithErrno();
}

bool RenameReplacingIfExists(const char* from, const char* to) {
  if (std::rename(from, to) == 0) return true;
  if (errno == ENOENT) return false;
  FailWithErrno();
}

bool RenameUnlessTaken(const char* from, const char* to) {
#if defined(RENAME_NOREPLACE)
  if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno == EEXIST) return false;
  // A file system that cannot rename so (NFS) refuses the flag.
  if (errno != EINVAL) FailWithErrno();
#endif
  // A hard link is made only at a name that is free.
  if (::link(from, to) != 0) {
    if (errno == EEXIST) return false;
    FailWithErrno();
  }
  RemoveFile(from);
  return true;
}

void SyncCurrentDirectory() {
  const int fd = OpenName(".", O_RDONLY | O_DIRECTORY);
  // A folder that may be written but not listed (mode 0300, say) cannot be
  // opened to sync it; the program has nothing it may sync there.
  if (fd < 0 && (errno == EACCES || errno == EPERM)) return;
  if (fd < 0) FailWithErrno();
  const bool synced = ::fsync(fd) == 0;
  const int error = errno;
  ::close(fd);
  // Some file systems cannot sync a directory; they have nothing to flush.
  // ENOTSUP and EOPNOTSUPP are one value on Linux, two on macOS.
  if (!synced && error != EINVAL && error != ENOTSUP && error != EOPNOTSUPP) {
    Fail(error);
  }
}

}  // namespace brinok
