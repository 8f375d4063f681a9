#include "runtime/channels.h"

#include <cstring>
#include <optional>

#include "runtime/file.h"
#include "runtime/run_failure.h"

namespace brinok {

struct Channels::Channel {
  Channel(File opened, Mode opened_mode, char* read_block)
      : file(std::move(opened)), mode(opened_mode), buffer(read_block) {}

  // Makes the next byte available; false at the end of the file.
  bool Fill() {
    if (pos < filled) return true;
    if (exhausted) return false;
    filled = file.Read(buffer, kReadBlock);
    pos = 0;
    // A regular file gives less than was asked for only at its end, so the
    // read that would return nothing is saved.
    exhausted = filled < kReadBlock;
    return filled > 0;
  }

  // Takes one line; adds it to `line` unless that is null.
  void TakeLine(std::string* line) {
    for (;;) {
      if (!Fill()) return;  // the end of the file ends the last line
      const char* start = buffer + pos;
      const std::size_t available = filled - pos;
      const auto* cr =
          static_cast<const char*>(std::memchr(start, '\r', available));
      const std::size_t length =
          cr ? static_cast<std::size_t>(cr - start) : available;
      if (line) line->append(start, length);
      pos += length;
      if (!cr) continue;
      ++pos;  // the carriage return
      if (Fill() && buffer[pos] == '\n') ++pos;
      return;
    }
  }

  // Writes out what was printed; forces it to storage when `sync` is set.
  void Finish(bool sync) {
    if (!pending.empty()) file.Write(pending.data(), pending.size());
    pending.clear();
    if (sync && mode == Mode::kOutput) file.Sync();
    file.Close();
  }

  File file;
  Mode mode;
  char* buffer;  // kReadBlock bytes, used by input only
  std::size_t pos = 0;
  std::size_t filled = 0;
  bool exhausted = false;
  std::string pending;  // output only
};

Channels::Channels() = default;
Channels::~Channels() = default;

Channels::Channel& Channels::Slot(int channel) {
  if (channel < 1 || channel > kMaxChannel || !slots_[channel - 1]) {
    throw RunFailure(FailureKind::kIo);
  }
  return *slots_[channel - 1];
}

void Channels::Attach(int channel, File file, Mode mode) {
  if (channel < 1 || channel > kMaxChannel || slots_[channel - 1]) {
    throw RunFailure(FailureKind::kIo);
  }
  slots_[channel - 1] = std::make_unique<Channel>(std::move(file), mode,
                                                  blocks_[channel - 1].data());
}

void Channels::OpenInput(int channel, const char* name) {
  Attach(channel, File::OpenInput(name), Mode::kInput);
}

bool Channels::OpenInputIfExists(int channel, const char* name) {
  std::optional<File> file = File::OpenInputIfExists(name);
  if (!file) return false;
  Attach(channel, std::move(*file), Mode::kInput);
  return true;
}

void Channels::OpenOutput(int channel, const char* name) {
  Attach(channel, File::OpenOutput(name), Mode::kOutput);
}

bool Channels::OpenAppendIfExists(int channel, const char* name) {
  std::optional<File> file = File::OpenAppendIfExists(name);
  if (!file) return false;
  Attach(channel, std::move(*file), Mode::kAppend);
  return true;
}

void Channels::SkipLeading(int channel, std::string_view prefix) {
  if (AtEnd(channel)) return;
  Channel& input = Slot(channel);
  // The first block holds the whole prefix whenever the file is that long:
  // a regular file gives less than was asked for only at its end.
  const std::string_view start(input.buffer + input.pos,
                               input.filled - input.pos);
  if (start.starts_with(prefix)) input.pos += prefix.size();
}

FileIdentity Channels::Identity(int channel) {
  return Slot(channel).file.Identity();
}

bool Channels::AtEnd(int channel) {
  Channel& input = Slot(channel);
  if (input.mode != Mode::kInput) throw RunFailure(FailureKind::kIo);
  return !input.Fill();
}

std::string Channels::ReadLine(int channel) {
  if (AtEnd(channel)) throw RunFailure(FailureKind::kPastEnd);
  std::string line;
  Slot(channel).TakeLine(&line);
  return line;
}

void Channels::SkipLine(int channel) {
  if (AtEnd(channel)) throw RunFailure(FailureKind::kPastEnd);
  Slot(channel).TakeLine(nullptr);
}

void Channels::Print(int channel, std::string_view text, PrintForm form) {
  Channel& output = Slot(channel);
  if (output.mode == Mode::kInput) throw RunFailure(FailureKind::kIo);
  output.pending.append(text);
  if (form == PrintForm::kLine) output.pending.append("\r\n");
}

void Channels::CloseAll() {
  // A channel that fails to close is released; those after it stay for End.
  for (auto& slot : slots_) {
    if (!slot) continue;
    const std::unique_ptr<Channel> channel = std::move(slot);
    channel->Finish(/*sync=*/true);
  }
}

void Channels::End() noexcept {
  for (auto& slot : slots_) {
    if (!slot) continue;
    const std::unique_ptr<Channel> channel = std::move(slot);
    // The run has already failed; what cannot be written out is lost, as the
    // failure itself would have lost it.
    try {
      channel->Finish(/*sync=*/false);
    } catch (const RunFailure&) {
    }
  }
}

}  // namespace brinok
