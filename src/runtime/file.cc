// The handle ownership that both platforms share; opening, reading, writing
// and releasing are in file_posix.cc and file_win32.cc.

#include "runtime/file.h"

namespace brinok {

File::File(File&& other) noexcept
    : handle_(other.handle_), identity_(other.identity_) {
  other.handle_ = kNoHandle;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Release();
    handle_ = other.handle_;
    identity_ = other.identity_;
    other.handle_ = kNoHandle;
  }
  return *this;
}

File::~File() { Release(); }

}  // namespace brinok
