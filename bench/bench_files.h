#ifndef BRINOK_BENCH_BENCH_FILES_H_
#define BRINOK_BENCH_BENCH_FILES_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace brinok::bench {

/// A fresh directory for the runs, removed with everything in it when this
/// object goes. It is made in /dev/shm when that has `bytes_needed` free,
/// otherwise in TMPDIR or /tmp. Throws std::runtime_error when no directory
/// can be made.
class WorkDir {
 public:
  explicit WorkDir(std::uintmax_t bytes_needed);
  ~WorkDir();
  WorkDir(const WorkDir&) = delete;
  WorkDir& operator=(const WorkDir&) = delete;

  const std::string& path() const { return path_; }
  /// True when the directory lives in memory (tmpfs or ramfs).
  bool ram_backed() const { return ram_backed_; }
  /// Makes the subdirectory `name` and makes it the current directory.
  /// Throws std::runtime_error on failure.
  void Enter(const std::string& name) const;

 private:
  std::string path_;
  bool ram_backed_ = false;
};

/// `path` made absolute against the current directory.
std::string AbsolutePath(const std::string& path);

/// Creates or replaces the file with `content`. Throws on failure.
void WriteFile(const std::string& path, std::string_view content);
/// Creates or replaces the file with `count` copies of `piece`, written in
/// large blocks; returns its size. Throws on failure.
std::uintmax_t WriteRepeated(const std::string& path, std::string_view piece,
                             long count);
/// The whole content of the file. Throws when it cannot be read.
std::string ReadFile(const std::string& path);

/// True when the name exists.
bool Exists(const std::string& path);
/// Deletes the name if it exists. Throws when it cannot.
void RemoveIfExists(const std::string& path);
/// Makes `to` a second name of the file `from`, replacing any file `to`.
/// Throws on failure.
void LinkAs(const std::string& from, const std::string& to);
/// Makes `to` a copy of the file `from`, replacing any file `to`. Throws on
/// failure.
void CopyAs(const std::string& from, const std::string& to);

/// True when the executable at `path` has no program interpreter, that is,
/// it is linked statically. Throws when it is not a readable ELF file.
bool LinkedStatically(const std::string& path);

}  // namespace brinok::bench

#endif  // BRINOK_BENCH_BENCH_FILES_H_
