// What both platforms share: the four ways of opening a file, over each
// platform's OpenRegular, and the handle's ownership. Opening, reading,
// writing and releasing are in file_posix.cc and file_win32.cc.

#include "runtime/file.h"

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
