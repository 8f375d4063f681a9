#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

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
  const FailureKind kind = error == ENOENT ? FailureKind::kNotFound
                           : error == ELOOP || error == EISDIR || error == ENXIO
                               ? FailureKind::kNotRegular
                               : FailureKind::kIo;
  throw RunFailure(kind, error);
}

[[noreturn]] void FailWithErrno() { Fail(errno); }

int OpenRetrying(const char* name, int flags) {
  int fd;
  do {
    fd = ::open(name, flags | kOpenFlags, kCreateMode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Only a regular file is used; anything else at the name is left untouched.
void RequireRegular(int fd) {
  struct stat status;
  if (::fstat(fd, &status) != 0) {
    const int error = errno;
    ::close(fd);
    Fail(error);
  }
  if (!S_ISREG(status.st_mode)) {
    ::close(fd);
    throw RunFailure(FailureKind::kNotRegular);
  }
}

int OpenRegular(const char* name, int flags) {
  const int fd = OpenRetrying(name, flags);
  if (fd < 0) FailWithErrno();
  RequireRegular(fd);
  return fd;
}

}  // namespace

File File::OpenInput(const char* name) {
  return File(OpenRegular(name, O_RDONLY));
}

File File::OpenOutput(const char* name) {
  // Emptied only after it is known to be a regular file.
  File file(OpenRegular(name, O_WRONLY | O_CREAT));
  if (::ftruncate(static_cast<int>(file.handle_), 0) != 0) FailWithErrno();
  return file;
}

std::optional<File> File::OpenAppendIfExists(const char* name) {
  const int fd = OpenRetrying(name, O_WRONLY | O_APPEND);
  if (fd < 0 && errno == ENOENT) return std::nullopt;
  if (fd < 0) FailWithErrno();
  RequireRegular(fd);
  return File(fd);
}

void File::Release() noexcept {
  if (handle_ != kNoHandle) ::close(static_cast<int>(handle_));
  handle_ = kNoHandle;
}

std::size_t File::Read(char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t got = ::read(static_cast<int>(handle_), buffer, size);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) FailWithErrno();
  }
}

void File::Write(const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t put = ::write(static_cast<int>(handle_), data, size);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) FailWithErrno();
    if (put == 0) throw RunFailure(FailureKind::kIo);
    data += put;
    size -= static_cast<std::size_t>(put);
  }
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

void RemoveFile(const char* name) {
  if (::unlink(name) != 0) FailWithErrno();
}

void RenameReplacing(const char* from, const char* to) {
  if (std::rename(from, to) != 0) FailWithErrno();
}

void SyncCurrentDirectory() {
  const int fd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) FailWithErrno();
  const bool synced = ::fsync(fd) == 0;
  const int error = errno;
  ::close(fd);
  // Some file systems cannot sync a directory; they have nothing to flush.
  if (!synced && error != EINVAL && error != ENOTSUP) Fail(error);
}

}  // namespace brinok
