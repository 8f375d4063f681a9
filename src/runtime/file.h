#ifndef BRINOK_RUNTIME_FILE_H_
#define BRINOK_RUNTIME_FILE_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace brinok {

/// A file's last modification time, as its platform keeps it.
struct FileTime {
  // POSIX: the seconds since 1970 and the nanoseconds within that second.
  // Windows: 0, and the whole time in 100 ns ticks since 1601 (a FILETIME).
  std::int64_t seconds = 0;
  std::int64_t fraction = 0;

  friend bool operator==(const FileTime&, const FileTime&) = default;
};

/// What tells one version of a file from another without reading it: the
/// file itself (device and inode, or volume serial and file index), its size
/// and its last modification time. Rewriting a file in place or putting
/// another file at its name changes it; only a rewrite to the same size
/// within one tick of the file system's clock (about 16 ms for Windows' file
/// times, 2 s on FAT) goes unseen, and only the bytes tell it.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t file = 0;
  std::uint64_t size = 0;
  FileTime modified;

  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

/// One open file of the current directory, opened only if the name holds a
/// regular file and never through a symbolic link (or, on Windows, a
/// junction or mount point). Each platform provides its own implementation
/// (file_posix.cc, file_win32.cc); every failure raises RunFailure.
class File {
 public:
  /// Opens an existing file for reading from its first byte. A missing file
  /// raises RunFailure(kNotFound); anything but a regular file raises
  /// RunFailure(kNotRegular), or kIo where the system itself refuses to open
  /// it (Windows, a folder), and is left untouched.
  static File OpenInput(const char* name);
  /// Like OpenInput, but returns nothing when the name does not exist.
  static std::optional<File> OpenInputIfExists(const char* name);
  /// Creates the file anew, empty (mode 0666 less the umask): a regular file
  /// at the name is deleted first, whoever owns it, so that the file written
  /// is always the caller's own. Anything but a regular file raises
  /// RunFailure(kNotRegular) and is left untouched; a file that cannot be
  /// deleted raises RunFailure(kIo) and stays.
  static File OpenOutput(const char* name);
  /// Opens an existing regular file for writing at its end. Returns nothing,
  /// and creates nothing, when the name does not exist.
  static std::optional<File> OpenAppendIfExists(const char* name);
  /// Opens the named lock file, creating it empty if it is missing, and takes
  /// its exclusive lock, waiting about `wait` at most while another process
  /// holds it. The lock lasts as long as the returned File, and the system
  /// releases it when the process ends, however it ends. The file is never
  /// written or deleted. Raises RunFailure(kBusy) when the wait runs out, and
  /// RunFailure(kNotRegular) for anything but a regular file.
  static File OpenLocked(const char* name, std::chrono::milliseconds wait);
  /// Opens an existing regular file for reading, to delete it with
  /// CloseAndDelete once it has been looked at. On Windows no other program
  /// can write to it from then on: the open fails (RunFailure(kIo)) while
  /// another program has it open for writing, and their opens for writing
  /// fail until it is closed. A missing file raises RunFailure(kNotFound),
  /// anything else as OpenInput does.
  static File OpenToDelete(const char* name);

  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  /// Releases the handle silently; use Close() where its outcome matters.
  ~File();

  /// Reads up to `size` bytes, possibly fewer anywhere in the file; returns 0
  /// only at the end of the file.
  std::size_t Read(char* buffer, std::size_t size);
  /// Writes all `size` bytes at the current position (or the end, when
  /// appending).
  void Write(const char* data, std::size_t size);
  /// Gives the file `modified` as its last modification time, to the file
  /// system's precision; its last access time stays. A write after it would
  /// set the clock's time again. Raises RunFailure where the system refuses
  /// (a file of another account, say).
  void SetModified(const FileTime& modified);
  /// Forces everything written to stable storage.
  void Sync();
  /// The identity of the file as it was opened (for an output file, once
  /// emptied), before anything was read from or written to it.
  const FileIdentity& Identity() const { return identity_; }
  /// Closes the handle; a failing close raises RunFailure.
  void Close();
  /// Closes a file opened by OpenToDelete, which is at `name`, and deletes
  /// it: on Windows through the handle, so that the file deleted is the one
  /// looked at, held until then; elsewhere by the name, once closed. Raises
  /// RunFailure when either fails; the file then stays.
  void CloseAndDelete(const char* name);

 private:
  using Handle = std::intptr_t;
  static constexpr Handle kNoHandle = -1;
  enum class Mode { kInput, kOutput, kAppend, kLock, kToDelete };

  explicit File(Handle handle) noexcept : handle_(handle) {}
  /// The one open of each platform: opens the name for `mode` if it holds a
  /// regular file, with the handle owned by the File from the first moment
  /// and the identity taken. Returns nothing when the name does not exist
  /// (never for kOutput, which creates it).
  static std::optional<File> OpenRegular(const char* name, Mode mode);
  /// Deletes the regular file at the name, for kOutput to create it anew.
  /// Anything else raises RunFailure(kNotRegular) and is left untouched.
  static void RemoveRegular(const char* name);
  /// Takes the exclusive lock of a file opened as kLock; false while another
  /// process holds it.
  bool TryLock();
  /// Waits at least `time` before the next TryLock.
  static void Pause(std::chrono::milliseconds time);
  void Release() noexcept;
  // Windows reads a name's identity through a handle of its own.
  friend std::optional<FileIdentity> IdentityIfExists(const char* name);

  Handle handle_ = kNoHandle;
  FileIdentity identity_;
};

/// Deletes the named file. Raises RunFailure(kNotFound) when it is missing
/// and RunFailure(kIo) when it cannot be deleted.
void RemoveFile(const char* name);

/// Whether anything is at the name (a link itself, whatever it leads to).
/// The name is only looked up, never opened: on Windows, where a file that
/// is open cannot be replaced, looking never makes another program's rename
/// fail.
bool NameExists(const char* name);

/// The identity of whatever is at the name now (a link's own, never its
/// target's), or nothing when the name does not exist.
std::optional<FileIdentity> IdentityIfExists(const char* name);

/// Like IdentityIfExists, but raises RunFailure(kNotFound) when the name
/// does not exist.
FileIdentity IdentityAt(const char* name);

/// Gives file `from` the name `to` in one atomic step that replaces any file
/// called `to`; never copies. On failure both names are as they were.
void RenameReplacing(const char* from, const char* to);

/// Like RenameReplacing, but returns false, and changes nothing, when
/// nothing is at `from`.
bool RenameReplacingIfExists(const char* from, const char* to);

/// Gives file `from` the name `to` unless something is at `to` already:
/// then returns false, with both names as they were. Never replaces and
/// never copies. Where the file system cannot rename without replacing
/// (NFS), the file is linked at `to`, then unlinked at `from`, so `from`
/// must be a name that no other program writes: a process that ends in
/// between leaves the file under both names. Raises RunFailure(kNotFound)
/// when nothing is at `from`, RunFailure(kIo) on any other failure.
bool RenameUnlessTaken(const char* from, const char* to);

/// Makes the renames and deletions done so far in the current directory
/// durable. A no-op where the system offers no way to sync a folder
/// (Windows), where the directory cannot be opened for it (a folder that may
/// be written but not listed) or where its file system cannot sync a
/// directory.
void SyncCurrentDirectory();

}  // namespace brinok

#endif  // BRINOK_RUNTIME_FILE_H_
