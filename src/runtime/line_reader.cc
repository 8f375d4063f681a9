#include "runtime/line_reader.h"

#include <cstring>
#include <utility>

#include "runtime/run_failure.h"

namespace brinok {

LineReader::LineReader(File file) : file_(std::move(file)) {}

bool LineReader::Fill() {
  if (pos_ < filled_) return true;
  if (exhausted_) return false;
  filled_ = file_.Read(block_.data(), block_.size());
  pos_ = 0;
  // A regular file gives less than was asked for only at its end, so the
  // read that would return nothing is saved.
  exhausted_ = filled_ < block_.size();
  return filled_ > 0;
}

void LineReader::SkipLeading(std::string_view prefix) {
  if (!Fill()) return;
  // The first block holds the whole prefix whenever the file is that long.
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
