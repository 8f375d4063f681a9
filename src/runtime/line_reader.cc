#include "runtime/line_reader.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "runtime/run_failure.h"

namespace brinok {

LineReader::LineReader(File file) : file_(std::move(file)) {}

std::size_t LineReader::ReadAt(std::size_t at) {
  const std::size_t got = file_.Read(block_.data() + at, block_.size() - at);
  const std::size_t room = kReadBlock - first_bytes_.size();
  first_bytes_.append(block_.data() + at, std::min(got, room));
  return got;
}

bool LineReader::Fill() {
  if (pos_ < filled_) return true;
  if (exhausted_) return false;
  filled_ = ReadAt(0);
  pos_ = 0;
  // Only a read that gives nothing is the end. A read may give less than
  // was asked for anywhere in a file (network and FUSE file systems do), and
  // the size the file had when it was opened is no better a guide: such a
  // file system may report it wrongly, and the file may grow meanwhile.
  exhausted_ = filled_ == 0;
  return !exhausted_;
}

void LineReader::SkipLeading(std::string_view prefix) {
  if (!Fill()) return;
  // A short first read may hold only part of the prefix: read on until the
  // block holds as many bytes as the prefix, or the file ends.
  while (filled_ < prefix.size() && !exhausted_) {
    const std::size_t got = ReadAt(filled_);
    exhausted_ = got == 0;
    filled_ += got;
  }
  const std::string_view start(block_.data() + pos_, filled_ - pos_);
  if (start.starts_with(prefix)) pos_ += prefix.size();
}

bool LineReader::AtEnd() { return !Fill(); }

void LineReader::TakeLine(std::string* line) {
  if (AtEnd()) throw RunFailure(FailureKind::kPastEnd);
  for (;;) {
    if (!Fill()) return;  // the end of the file ends the last line
    const char* start = block_.data() + pos_;
    const std::size_t available = filled_ - pos_;
    const auto* cr =
        static_cast<const char*>(std::memchr(start, '\r', available));
    const std::size_t length =
        cr ? static_cast<std::size_t>(cr - start) : available;
    if (line) line->append(start, length);
    pos_ += length;
    if (!cr) continue;
    ++pos_;  // the carriage return
    if (Fill() && block_[pos_] == '\n') ++pos_;
    return;
  }
}

std::string LineReader::ReadLine() {
  std::string line;
  TakeLine(&line);
  return line;
}

void LineReader::SkipLine() { TakeLine(nullptr); }

}  // namespace brinok
