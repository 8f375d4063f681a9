#include "runtime/text.h"

namespace brinok {

// Files are taken byte for byte, so every byte is one character.
std::size_t TextLength(std::string_view text) { return text.size(); }

}  // namespace brinok
