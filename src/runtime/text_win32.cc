#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <algorithm>
#include <climits>
#include <iterator>

#include "runtime/text.h"

namespace brinok {
namespace {

// MultiByteToWideChar takes an int count of bytes.
constexpr std::size_t kMaxPiece = INT_MAX;

// Characters of the ANSI code page in `piece`, as UTF-16 units; counted only,
// nothing is converted.
std::size_t CountPiece(std::string_view piece) {
  const int count = MultiByteToWideChar(
      CP_ACP, 0, piece.data(), static_cast<int>(piece.size()), nullptr, 0);
  return count > 0 ? static_cast<std::size_t>(count) : piece.size();
}

// Bytes of `text` to count in one piece, at most kMaxPiece. A piece that
// stops short ends after a byte below 0x40, which no ANSI code page uses as
// the second byte of a character, so that no character is split.
std::size_t NextPiece(std::string_view text) {
  if (text.size() <= kMaxPiece) return text.size();
  const std::string_view head = text.substr(0, kMaxPiece);
  const auto single = std::find_if(head.rbegin(), head.rend(), [](char c) {
    return static_cast<unsigned char>(c) < 0x40;
  });
  if (single == head.rend()) return head.size();
  return static_cast<std::size_t>(std::distance(single, head.rend()));
}

}  // namespace

// Texts stay the file's bytes, unchanged, through the whole run: turning them
// into wide characters and back could change bytes that a multibyte ANSI code
// page cannot map. Only their length is taken in characters of that code
// page, as a text of the file's characters would have it.
std::size_t TextLength(std::string_view text) {
  std::size_t length = 0;
  while (!text.empty()) {
    const std::size_t piece = NextPiece(text);
    length += CountPiece(text.substr(0, piece));
    text.remove_prefix(piece);
  }
  return length;
}

}  // namespace brinok
