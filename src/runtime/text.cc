#include "runtime/text.h"

namespace brinok {

std::string_view LeftTrim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  return first == std::string_view::npos ? std::string_view()
                                         : text.substr(first);
}

}  // namespace brinok
