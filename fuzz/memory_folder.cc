// The file functions of file.h over a folder held in memory. Every file is
// regular; a handle is an index into the table of open files; the folder's
// clock ticks at each change, so that a file's identity changes as it does on
// disk: with the file at a name, its size and its modification.

#include "memory_folder.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "runtime/file.h"
#include "runtime/run_failure.h"

namespace brinok {
namespace {

struct Stored {
  std::string bytes;
  std::uint64_t id = 0;
  std::int64_t modified = 0;
};

struct Open {
  std::shared_ptr<Stored> file;  // null when the slot is free
  std::size_t position = 0;
  bool append = false;
};

struct Folder {
  std::map<std::string, std::shared_ptr<Stored>> names;
  std::vector<Open> open;
  std::uint64_t files_made = 0;
  std::int64_t clock = 0;
  std::size_t read_limit = 0;

  std::shared_ptr<Stored> Make() {
    auto file = std::make_shared<Stored>();
    file->id = ++files_made;
    file->modified = ++clock;
    return file;
  }
  std::shared_ptr<Stored> At(const char* name) const {
    const auto found = names.find(name);
    if (found == names.end()) throw RunFailure(FailureKind::kNotFound);
    return found->second;
  }
};

Folder& TheFolder() {
  static Folder folder;
  return folder;
}

Open& OpenAt(std::intptr_t handle) {
  return TheFolder().open.at(static_cast<std::size_t>(handle));
}

FileIdentity IdentityOf(const Stored& file) {
  FileIdentity identity;
  identity.volume = 1;
  identity.file = file.id;
  identity.size = file.bytes.size();
  identity.modified.seconds = file.modified;
  return identity;
}

}  // namespace

std::optional<File> File::OpenRegular(const char* name, Mode mode) {
  Folder& folder = TheFolder();
  const auto found = folder.names.find(name);
  std::shared_ptr<Stored> file;
  if (mode == Mode::kOutput) {
    // Always a new file, as on disk: a file at the name goes first.
    file = folder.names[name] = folder.Make();
  } else if (found != folder.names.end()) {
    file = found->second;
  } else if (mode == Mode::kLock) {
    file = folder.names[name] = folder.Make();
  } else {
    return std::nullopt;
  }
  auto slot = std::find_if(folder.open.begin(), folder.open.end(),
                           [](const Open& open) { return !open.file; });
  if (slot == folder.open.end()) slot = folder.open.emplace(slot);
  *slot = Open{file, 0, mode == Mode::kAppend};
  File opened(slot - folder.open.begin());
  opened.identity_ = IdentityOf(*file);
  return opened;
}

// One run at a time: the lock is always free.
bool File::TryLock() { return true; }

void File::Pause(std::chrono::milliseconds) {}

void File::Release() noexcept {
  if (handle_ != kNoHandle) OpenAt(handle_) = Open{};
  handle_ = kNoHandle;
}

std::size_t File::Read(char* buffer, std::size_t size) {
  Open& open = OpenAt(handle_);
  const std::size_t limit = TheFolder().read_limit;
  const std::size_t got =
      std::min({size, limit ? limit : size,
                open.file->bytes.size() -
                    std::min(open.position, open.file->bytes.size())});
  std::memcpy(buffer, open.file->bytes.data() + open.position, got);
  open.position += got;
  return got;
}

void File::Write(const char* data, std::size_t size) {
  Open& open = OpenAt(handle_);
  std::string& bytes = open.file->bytes;
  if (open.append) open.position = bytes.size();
  if (bytes.size() < open.position + size) bytes.resize(open.position + size);
  std::memcpy(bytes.data() + open.position, data, size);
  open.position += size;
  open.file->modified = ++TheFolder().clock;
}

void File::SetModified(const FileTime& modified) {
  OpenAt(handle_).file->modified = modified.seconds;
}

void File::Sync() {}

void File::Close() { Release(); }

void File::CloseAndDelete(const char* name) {
  Release();
  RemoveFile(name);
}

void RemoveFile(const char* name) {
  TheFolder().At(name);
  TheFolder().names.erase(name);
}

bool NameExists(const char* name) { return TheFolder().names.count(name) == 1; }

std::optional<FileIdentity> IdentityIfExists(const char* name) {
  const auto found = TheFolder().names.find(name);
  if (found == TheFolder().names.end()) return std::nullopt;
  return IdentityOf(*found->second);
}

void RenameReplacing(const char* from, const char* to) {
  Folder& folder = TheFolder();
  std::shared_ptr<Stored> file = folder.At(from);
  folder.names.erase(from);
  folder.names[to] = std::move(file);
}

bool RenameReplacingIfExists(const char* from, const char* to) {
  if (!NameExists(from)) return false;
  RenameReplacing(from, to);
  return true;
}

bool RenameUnlessTaken(const char* from, const char* to) {
  TheFolder().At(from);
  if (NameExists(to)) return false;
  RenameReplacing(from, to);
  return true;
}

void SyncCurrentDirectory() {}

namespace fuzz {

void ResetFolder(const std::map<std::string, std::string>& files) {
  Folder& folder = TheFolder();
  folder.names.clear();
  for (const auto& [name, bytes] : files) {
    folder.names[name] = folder.Make();
    folder.names[name]->bytes = bytes;
  }
}

std::map<std::string, std::string> FolderFiles() {
  std::map<std::string, std::string> files;
  for (const auto& [name, file] : TheFolder().names) files[name] = file->bytes;
  return files;
}

void LimitReads(std::size_t most) { TheFolder().read_limit = most; }

}  // namespace fuzz
}  // namespace brinok
