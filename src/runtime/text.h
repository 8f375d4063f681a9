#ifndef BRINOK_RUNTIME_TEXT_H_
#define BRINOK_RUNTIME_TEXT_H_

#include <cstddef>
#include <string_view>

namespace brinok {

/// Number of characters in a text held as file bytes: one per byte on POSIX,
/// characters of the ANSI code page on Windows.
std::size_t TextLength(std::string_view text);

}  // namespace brinok

#endif  // BRINOK_RUNTIME_TEXT_H_
