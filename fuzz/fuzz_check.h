#ifndef BRINOK_FUZZ_FUZZ_CHECK_H_
#define BRINOK_FUZZ_FUZZ_CHECK_H_

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace brinok::fuzz {

/// Does nothing when `holds`; otherwise names the broken property on stderr
/// and aborts, which both libFuzzer and the replay driver report as a
/// failing input. Unlike assert it stays active in optimised builds.
inline void Check(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property broken: %s\n", property);
  std::abort();
}

/// `value` rounded to 15 significant digits, computed through the C
/// library's own correctly rounded formatting and parsing, independently of
/// the number texts under test. Infinite when the rounding goes past the
/// largest double.
inline double RoundTo15Digits(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.14e", value);
  return std::strtod(text, nullptr);
}

}  // namespace brinok::fuzz

#endif  // BRINOK_FUZZ_FUZZ_CHECK_H_
