#include "runtime/text_writer.h"

#include <utility>

namespace brinok {

TextWriter::TextWriter(File file) : file_(std::move(file)) {}

TextWriter::~TextWriter() {
  if (finished_) return;
  // The run has failed already; what cannot be written out is lost, as the
  // failure itself would have lost it.
  try {
    if (!pending_.empty()) file_.Write(pending_.data(), pending_.size());
    file_.Close();
  } catch (...) {
  }
}

void TextWriter::Write(std::string_view text) { pending_.append(text); }

void TextWriter::WriteLine(std::string_view text) {
  pending_.append(text);
  pending_.append("\r\n");
}

void TextWriter::Commit(const FileTime& modified) {
  finished_ = true;
  if (!pending_.empty()) file_.Write(pending_.data(), pending_.size());
  // After the last write, which would set the clock's time, and before the
  // sync, so that the time is on disk with the text.
  file_.SetModified(modified);
  file_.Sync();
  file_.Close();
}

}  // namespace brinok
