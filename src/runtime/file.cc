// What both platforms share: the ways of opening a file, over each
// platform's OpenRegular, the wait for a lock, and the handle's ownership.
// Opening, reading, writing, locking and releasing are in file_posix.cc and
// file_win32.cc.

#include "runtime/file.h"

#include <chrono>
#include <utility>

#include "runtime/run_failure.h"

namespace brinok {
namespace {

File Required(std::optional<File> file) {
  if (!file) throw RunFailure(FailureKind::kNotFound);
  return std::move(*file);
}

}  // namespace

File File::OpenInput(const char* name) {
  return Required(OpenRegular(name, Mode::kInput));
}

std::optional<File> File::OpenInputIfExists(const char* name) {
  return OpenRegular(name, Mode::kInput);
}

File File::OpenOutput(const char* name) {
  return Required(OpenRegular(name, Mode::kOutput));
}

std::optional<File> File::OpenAppendIfExists(const char* name) {
  return OpenRegular(name, Mode::kAppend);
}

File File::OpenToDelete(const char* name) {
  return Required(OpenRegular(name, Mode::kToDelete));
}

File File::OpenLocked(const char* name, std::chrono::milliseconds wait) {
  constexpr std::chrono::milliseconds kPause{10};
  File lock = Required(OpenRegular(name, Mode::kLock));
  // Counted in pauses rather than read off a clock. A pause lasts at least
  // its time on POSIX, so the wait is over late only by the system's delay
  // in waking the run; Windows sleeps by its clock's tick, so there the wait
  // is about its time.
  for (std::chrono::milliseconds waited{0}; !lock.TryLock(); waited += kPause) {
    if (waited >= wait) throw RunFailure(FailureKind::kBusy);
    Pause(kPause);
  }
  return lock;
}

FileIdentity IdentityAt(const char* name) {
  const std::optional<FileIdentity> identity = IdentityIfExists(name);
  if (!identity) throw RunFailure(FailureKind::kNotFound);
  return *identity;
}

File::File(File&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoHandle)),
      identity_(other.identity_) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Release();
    handle_ = std::exchange(other.handle_, kNoHandle);
    identity_ = other.identity_;
  }
  return *this;
}

File::~File() { Release(); }

}  // namespace brinok
