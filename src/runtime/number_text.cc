#include "runtime/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <system_error>

#include "runtime/run_failure.h"

namespace brinok {
namespace {

constexpr std::string_view kDigits = "0123456789";
constexpr std::string_view kHexDigits = "0123456789abcdefABCDEF";

// A run of `digits` in base 16 as a plain positive number. std::from_chars
// rounds it correctly however long it is.
double HexadecimalNumber(std::string_view digits) {
  if (digits.empty()) return 0;
  double value = 0;
  const auto result =
      std::from_chars(digits.data(), digits.data() + digits.size(), value,
                      std::chars_format::hex);
  if (result.ec != std::errc()) throw RunFailure(FailureKind::kOverflow);
  return value;
}

// An "&O" number: each four octal digits are twelve bits, three hexadecimal
// digits, so the regrouped text reads as exactly the same number.
double OctalNumber(std::string_view text) {
  std::string octal(text.substr(0, text.find_first_not_of("01234567")));
  octal.insert(0, (4 - octal.size() % 4) % 4, '0');
  std::string hex;
  for (std::size_t i = 0; i < octal.size(); i += 4) {
    int bits = 0;
    for (const char c : octal.substr(i, 4)) bits = bits * 8 + (c - '0');
    for (int shift = 8; shift >= 0; shift -= 4) {
      hex += kHexDigits[(bits >> shift) & 0xF];
    }
  }
  return HexadecimalNumber(hex);
}

// Decimal exponent of the first significant digit of a number that
// std::from_chars found beyond the double range: a positive one overflows, a
// negative one is too small and reads as zero. `mantissa` is the digits and
// full stop, `exponent` the letter, sign and digits after them, if any.
std::int64_t Magnitude(std::string_view mantissa, std::string_view exponent) {
  const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
  const std::size_t first = mantissa.find_first_of("123456789");
  std::int64_t magnitude = static_cast<std::int64_t>(point) -
                           static_cast<std::int64_t>(first) -
                           (first < point ? 1 : 0);
  if (exponent.empty()) return magnitude;
  exponent.remove_prefix(exponent[1] == '+' ? 2 : 1);
  // An exponent beyond any count of digits decides alone; clamping it also
  // keeps the sum in range.
  constexpr std::int64_t kLimit = std::int64_t{1} << 52;
  std::int64_t value = 0;
  if (std::from_chars(exponent.data(), exponent.data() + exponent.size(), value)
          .ec != std::errc()) {
    value = exponent.starts_with('-') ? -kLimit : kLimit;
  }
  return magnitude + std::clamp(value, -kLimit, kLimit);
}

// Sign, digits with one full stop at most, then an exponent (E or D) that
// counts only when digits follow its letter and optional sign. `text` is
// free of blanks and may be changed.
double DecimalNumber(std::string& text) {
  const bool negative = text.starts_with('-');
  const std::size_t start = negative || text.starts_with('+') ? 1 : 0;
  // std::from_chars would also take a second sign, "inf" and "nan".
  if (start == text.size() ||
      (kDigits.find(text[start]) == std::string::npos && text[start] != '.')) {
    return 0;
  }
  std::size_t end =
      std::min(text.find_first_not_of(kDigits, start), text.size());
  if (end < text.size() && text[end] == '.') {
    end = std::min(text.find_first_not_of(kDigits, end + 1), text.size());
  }
  if (end < text.size() && (text[end] == 'D' || text[end] == 'd')) {
    text[end] = 'e';
  }
  double value = 0;
  const char* first = text.data() + start;
  const auto [last, error] =
      std::from_chars(first, text.data() + text.size(), value);
  if (error == std::errc::invalid_argument) return 0;  // a lone full stop
  if (error == std::errc::result_out_of_range) {
    const std::string_view number(first, last);
    if (Magnitude(number.substr(0, end - start), number.substr(end - start)) >=
        0) {
      throw RunFailure(FailureKind::kOverflow);
    }
    value = 0;
  }
  return negative ? -value : value;
}

}  // namespace

double NumberFromText(std::string_view text) {
  std::string kept(text);
  std::erase_if(kept,
                [](char c) { return c == ' ' || c == '\t' || c == '\n'; });
  if (kept.size() < 2 || kept[0] != '&') return DecimalNumber(kept);
  const std::string_view digits = std::string_view(kept).substr(2);
  switch (kept[1]) {
    case 'H':
    case 'h':
      return HexadecimalNumber(
          digits.substr(0, digits.find_first_not_of(kHexDigits)));
    case 'O':
    case 'o':
      return OctalNumber(digits);
    default:
      return 0;
  }
}

std::string SignedText(double value) {
  if (!std::isfinite(value)) throw RunFailure(FailureKind::kOverflow);
  if (value == 0) return " 0";  // negative zero is written like zero
  // As printf's "%.15g": 15 significant digits, no trailing zeros, exponent
  // form from 1e+15 and below 1e-04.
  char buffer[32];
  char* const end = std::to_chars(buffer, std::end(buffer), std::fabs(value),
                                  std::chars_format::general, 15)
                        .ptr;
  std::string digits(buffer, end);
  std::string text(1, value < 0 ? '-' : ' ');
  if (digits.starts_with("0.")) digits.erase(0, 1);
  const std::size_t e = digits.find('e');
  if (e == std::string::npos) return text + digits;
  if (digits.compare(e, std::string::npos, "e-05") == 0) {
    // The 1E-05 decade is written in full: ".0000" and the digits.
    digits.resize(e);
    std::erase(digits, '.');
    return text + ".0000" + digits;
  }
  digits[e] = 'E';
  return text + digits;
}

std::string PlainText(double value) {
  std::string text = SignedText(value);
  if (text.front() == ' ') text.erase(0, 1);
  return text;
}

}  // namespace brinok
