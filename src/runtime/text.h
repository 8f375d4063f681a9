#ifndef BRINOK_RUNTIME_TEXT_H_
#define BRINOK_RUNTIME_TEXT_H_

#include <cstddef>
#include <string_view>

namespace brinok {

/// Number of characters in a text held as file bytes: one per byte on POSIX,
/// characters of the ANSI code page on Windows. A text may be as long as a
/// line of a file can be, so on Windows, whose count takes at most 2 GiB at
/// once, a longer text is counted in pieces.
std::size_t TextLength(std::string_view text);

}  // namespace brinok

#endif  // BRINOK_RUNTIME_TEXT_H_
