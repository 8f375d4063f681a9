#include "runtime/number_text.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <system_error>

#include "runtime/run_failure.h"

namespace brinok {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Walks a text as number-from-text sees it: spaces, tabs and line feeds do
// not exist for it, wherever they stand.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) { SkipIgnored(); }

  char Peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
  void Advance() {
    ++pos_;
    SkipIgnored();
  }

 private:
  void SkipIgnored() {
    while (pos_ < text_.size() &&
           (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\n')) {
      ++pos_;
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

// Converts a matched number with std::from_chars, so the result is correctly
// rounded whatever the locale. `magnitude_exponent` is the decimal exponent of
// the first significant digit; it tells an overflow (a run failure) from an
// underflow (which gives zero).
double Convert(const std::string& number, std::chars_format format,
               std::int64_t magnitude_exponent) {
  double value = 0;
  const auto [end, error] = std::from_chars(
      number.data(), number.data() + number.size(), value, format);
  if (error == std::errc::result_out_of_range) {
    if (magnitude_exponent >= 0) throw RunFailure(FailureKind::kOverflow);
    return number.front() == '-' ? -0.0 : 0.0;
  }
  if (error != std::errc() || end != number.data() + number.size() ||
      !std::isfinite(value)) {
    throw RunFailure(FailureKind::kOverflow);
  }
  return value;
}

std::int64_t SaturatingDigitAppend(std::int64_t value, char digit) {
  constexpr std::int64_t kLimit = std::int64_t{1} << 50;
  return value > kLimit ? value : value * 10 + (digit - '0');
}

// "&H" digits, read as a plain positive number.
double HexadecimalNumber(Cursor& cursor) {
  std::string digits;
  for (char c = cursor.Peek(); std::isxdigit(static_cast<unsigned char>(c));
       c = cursor.Peek()) {
    digits += c;
    cursor.Advance();
  }
  if (digits.empty()) return 0;
  return Convert(digits, std::chars_format::hex,
                 static_cast<std::int64_t>(digits.size()));
}

// "&O" digits, read as a plain positive number. Regrouping the three bits of
// each octal digit into hexadecimal digits keeps the conversion exact.
double OctalNumber(Cursor& cursor) {
  std::string bits;
  for (char c = cursor.Peek(); c >= '0' && c <= '7'; c = cursor.Peek()) {
    const int digit = c - '0';
    bits += static_cast<char>('0' + ((digit >> 2) & 1));
    bits += static_cast<char>('0' + ((digit >> 1) & 1));
    bits += static_cast<char>('0' + (digit & 1));
    cursor.Advance();
  }
  if (bits.empty()) return 0;
  bits.insert(0, (4 - bits.size() % 4) % 4, '0');
  std::string hex;
  for (std::size_t i = 0; i < bits.size(); i += 4) {
    const int nibble = (bits[i] - '0') * 8 + (bits[i + 1] - '0') * 4 +
                       (bits[i + 2] - '0') * 2 + (bits[i + 3] - '0');
    hex += "0123456789abcdef"[nibble];
  }
  return Convert(hex, std::chars_format::hex,
                 static_cast<std::int64_t>(hex.size()));
}

double DecimalNumber(Cursor& cursor) {
  std::string number;
  if (cursor.Peek() == '-' || cursor.Peek() == '+') {
    if (cursor.Peek() == '-') number += '-';
    cursor.Advance();
  }
  bool seen_point = false;
  bool seen_digit = false;
  bool seen_significant = false;
  std::int64_t magnitude =
      0;  // decimal exponent of the first significant digit
  for (char c = cursor.Peek(); IsDigit(c) || (c == '.' && !seen_point);
       c = cursor.Peek()) {
    if (c == '.') {
      seen_point = true;
    } else {
      seen_digit = true;
      if (c != '0') seen_significant = true;
      if (seen_significant && !seen_point) ++magnitude;
      if (!seen_significant && seen_point) --magnitude;
    }
    number += c;
    cursor.Advance();
  }
  if (!seen_digit) return 0;
  // An exponent counts only when digits follow its letter and optional sign.
  if (const char letter = cursor.Peek();
      letter == 'E' || letter == 'e' || letter == 'D' || letter == 'd') {
    Cursor after = cursor;
    after.Advance();
    std::string exponent = "e";
    bool negative = false;
    if (after.Peek() == '-' || after.Peek() == '+') {
      negative = after.Peek() == '-';
      exponent += after.Peek();
      after.Advance();
    }
    std::int64_t exponent_value = 0;
    if (IsDigit(after.Peek())) {
      for (char c = after.Peek(); IsDigit(c); c = after.Peek()) {
        exponent += c;
        exponent_value = SaturatingDigitAppend(exponent_value, c);
        after.Advance();
      }
      number += exponent;
      magnitude += negative ? -exponent_value : exponent_value;
    }
  }
  // `magnitude` counts digits; the first significant digit's exponent is one
  // less when it stands before the point.
  return Convert(number, std::chars_format::general, magnitude - 1);
}

// Digits and decimal exponent of |value| rounded to 15 significant digits,
// without trailing zeros.
struct Decimal {
  std::string digits;
  int exponent = 0;
};

Decimal RoundTo15Digits(double magnitude) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, magnitude,
                                    std::chars_format::scientific, 14);
  const std::string_view text(buffer, result.ptr - buffer);
  const std::size_t e = text.find('e');
  Decimal decimal;
  for (char c : text.substr(0, e)) {
    if (IsDigit(c)) decimal.digits += c;
  }
  decimal.digits.erase(decimal.digits.find_last_not_of('0') + 1);
  const std::string_view exponent = text.substr(e + 1);
  std::from_chars(exponent.data() + (exponent.front() == '+' ? 1 : 0),
                  exponent.data() + exponent.size(), decimal.exponent);
  return decimal;
}

std::string ExponentForm(const Decimal& decimal) {
  std::string text(1, decimal.digits.front());
  if (decimal.digits.size() > 1) {
    text += '.';
    text += decimal.digits.substr(1);
  }
  const int exponent = std::abs(decimal.exponent);
  text += decimal.exponent < 0 ? "E-" : "E+";
  if (exponent < 10) text += '0';
  text += std::to_string(exponent);
  return text;
}

std::string FixedForm(const Decimal& decimal) {
  const std::string& digits = decimal.digits;
  std::string text;
  if (decimal.exponent < 0) {
    text.assign(1, '.');
    text.append(static_cast<std::size_t>(-decimal.exponent - 1), '0');
    text.append(digits);
    return text;
  }
  const std::size_t whole = static_cast<std::size_t>(decimal.exponent) + 1;
  text.assign(digits, 0, whole);
  if (digits.size() <= whole) {
    text.append(whole - digits.size(), '0');
  } else {
    text += '.';
    text.append(digits, whole);
  }
  return text;
}

}  // namespace

double NumberFromText(std::string_view text) {
  Cursor cursor(text);
  if (cursor.Peek() == '&') {
    Cursor after = cursor;
    after.Advance();
    const char base = after.Peek();
    if (base == 'H' || base == 'h') {
      after.Advance();
      return HexadecimalNumber(after);
    }
    if (base == 'O' || base == 'o') {
      after.Advance();
      return OctalNumber(after);
    }
    return 0;
  }
  return DecimalNumber(cursor);
}

std::string SignedText(double value) {
  if (!std::isfinite(value)) throw RunFailure(FailureKind::kOverflow);
  if (value == 0) return " 0";  // negative zero is written like zero
  const Decimal decimal = RoundTo15Digits(std::fabs(value));
  const bool exponent_form = decimal.exponent >= 15 || decimal.exponent < -5;
  std::string text(1, value < 0 ? '-' : ' ');
  text += exponent_form ? ExponentForm(decimal) : FixedForm(decimal);
  return text;
}

std::string PlainText(double value) {
  std::string text = SignedText(value);
  if (text.front() == ' ') text.erase(0, 1);
  return text;
}

}  // namespace brinok
