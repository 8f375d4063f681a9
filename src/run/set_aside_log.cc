#include "run/set_aside_log.h"

#include <string>

#include "run/station.h"

namespace brinok {
namespace {

// Whatever is at the log's name came after the file set aside: it is the
// newer reading, and the one set aside goes.
void PutBack() {
  if (!RenameUnlessTaken(kSetAsideName, kWeatherLogName)) {
    RemoveFile(kSetAsideName);
  }
}

// Whether the file's first bytes are `bytes`, however few each read gives.
bool StartsWith(File& file, std::string_view bytes) {
  std::string read(bytes.size(), '\0');
  for (std::size_t filled = 0; filled < read.size();) {
    const std::size_t got =
        file.Read(read.data() + filled, read.size() - filled);
    if (got == 0) return false;
    filled += got;
  }
  return read == bytes;
}

}  // namespace

SetAsideLog::SetAsideLog()
    : found_(RenameReplacingIfExists(kWeatherLogName, kSetAsideName)) {}

SetAsideLog::~SetAsideLog() {
  if (!found_ || deleted_) return;
  try {
    // Windows cannot move a file that is held.
    held_.reset();
    PutBack();
  } catch (...) {
  }
}

bool SetAsideLog::Holds(const FileIdentity& identity, std::string_view bytes) {
  held_ = File::OpenToDelete(kSetAsideName);
  return held_->Identity() == identity && StartsWith(*held_, bytes);
}

void SetAsideLog::Delete() {
  held_->CloseAndDelete(kSetAsideName);
  deleted_ = true;
}

void RestoreSetAsideLog() {
  // Opened only to refuse anything but a regular file.
  std::optional<File> set_aside = File::OpenInputIfExists(kSetAsideName);
  if (!set_aside) return;
  set_aside->Close();
  PutBack();
}

}  // namespace brinok
