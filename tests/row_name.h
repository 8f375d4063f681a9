#ifndef BRINOK_TESTS_ROW_NAME_H_
#define BRINOK_TESTS_ROW_NAME_H_

#include <cctype>
#include <string>
#include <string_view>

namespace brinok::testing {

/// A test name for a table row known by a text: letters and digits as they
/// stand, other characters spelt out ("-0.5" gives "Minus0Point5", the empty
/// text "Empty"), and a long text cut short with its length after it. The
/// same text always gives the same name, so a failing row can be rerun by
/// it.
inline std::string RowName(std::string_view text) {
  constexpr std::size_t kLongest = 40;
  std::string name;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte)) {
      name += c;
      continue;
    }
    switch (c) {
      case ' ':
        name += "Space";
        break;
      case '\t':
        name += "Tab";
        break;
      case '\n':
        name += "Lf";
        break;
      case '.':
        name += "Point";
        break;
      case ',':
        name += "Comma";
        break;
      case '-':
        name += "Minus";
        break;
      case '+':
        name += "Plus";
        break;
      case '&':
        name += "Amp";
        break;
      case '/':
        name += "Slash";
        break;
      default:
        name += 'X';
        name += "0123456789ABCDEF"[byte >> 4];
        name += "0123456789ABCDEF"[byte & 15];
    }
  }
  if (name.empty()) return "Empty";
  if (name.size() > kLongest) {
    name.resize(kLongest);
    name += "_Of" + std::to_string(text.size()) + "Characters";
  }
  return name;
}

}  // namespace brinok::testing

#endif  // BRINOK_TESTS_ROW_NAME_H_
