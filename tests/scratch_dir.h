#ifndef BRINOK_TESTS_SCRATCH_DIR_H_
#define BRINOK_TESTS_SCRATCH_DIR_H_

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace brinok::testing {

/// A fresh, empty directory under the system's temporary directory, removed
/// with everything in it when the object goes.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const {
    return path_ / name;
  }

  /// Writes `bytes` into the named file, replacing it.
  void Write(std::string_view name, std::string_view bytes) const;
  /// The bytes of the named regular file, or nothing when it is absent.
  std::optional<std::string> Read(std::string_view name) const;
  /// Every entry of the directory with its bytes (regular files) or a tag
  /// such as "<dir>", "<link>", "<fifo>" or "<device>", but for an empty
  /// lock file BRINOK.LCK: every run that finds a log leaves one, and the
  /// tests that pin it read it by name.
  std::map<std::string, std::string> Contents() const;

 private:
  std::filesystem::path path_;
};

}  // namespace brinok::testing

#endif  // BRINOK_TESTS_SCRATCH_DIR_H_
