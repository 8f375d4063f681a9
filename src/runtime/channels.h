#ifndef BRINOK_RUNTIME_CHANNELS_H_
#define BRINOK_RUNTIME_CHANNELS_H_

#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "runtime/file.h"

namespace brinok {

/// How a written text ends: the line form adds CR LF, the joining form lets
/// the next write continue the same line.
enum class PrintForm { kLine, kJoin };

/// Open files addressed by a small channel number (1 or 2), read as lines and
/// written as texts. Texts are the files' bytes, taken and given unchanged.
/// Every failing operation raises RunFailure.
class Channels {
 public:
  static constexpr int kMaxChannel = 2;

  Channels();
  ~Channels();
  Channels(const Channels&) = delete;
  Channels& operator=(const Channels&) = delete;

  /// Opens an existing regular file for reading. The channel must be closed.
  void OpenInput(int channel, const char* name);
  /// Like OpenInput; returns false, and opens nothing, when the name does not
  /// exist.
  bool OpenInputIfExists(int channel, const char* name);
  /// Creates or empties a regular file for writing.
  void OpenOutput(int channel, const char* name);
  /// Opens an existing regular file for appending; returns false and creates
  /// nothing when the name does not exist.
  bool OpenAppendIfExists(int channel, const char* name);

  /// Passes over `prefix` when the input channel's file starts with it.
  /// Call before reading anything.
  void SkipLeading(int channel, std::string_view prefix);
  /// The identity of the file open on the channel, as it is now.
  FileIdentity Identity(int channel);

  /// True when the read position of an input channel is at the end of the
  /// file.
  bool AtEnd(int channel);
  /// Reads one line: up to a carriage return (dropped, together with a line
  /// feed right after it) or the end of the file. A line feed alone is an
  /// ordinary character. Raises RunFailure(kPastEnd) at the end of the file.
  std::string ReadLine(int channel);
  /// Reads one line like ReadLine and forgets it, in constant memory.
  void SkipLine(int channel);
  /// Adds the text (and CR LF for the line form) to an output channel. It is
  /// written out when the channels are closed.
  void Print(int channel, std::string_view text, PrintForm form);

  /// Closes every channel; output is written in one piece and forced to
  /// stable storage first. On a failure the remaining channels are released.
  void CloseAll();
  /// Closes every channel on the way out of a failed run: writes out what
  /// was printed, without forcing it to storage, and ignores every error.
  void End() noexcept;

 private:
  enum class Mode { kInput, kOutput, kAppend };
  struct Channel;
  Channel& Slot(int channel);
  // Puts `file` on a closed channel.
  void Attach(int channel, File file, Mode mode);

  // Large enough that a log is read in one call, small enough to keep the
  // memory of a run bounded whatever the size of the log.
  static constexpr std::size_t kReadBlock = 64 * 1024;

  std::array<std::unique_ptr<Channel>, kMaxChannel> slots_;
  // One read block per channel, held here so that opening a file grows no
  // heap: no memory system calls, and a short log touches only one page.
  std::array<std::array<char, kReadBlock>, kMaxChannel> blocks_;
};

}  // namespace brinok

#endif  // BRINOK_RUNTIME_CHANNELS_H_
