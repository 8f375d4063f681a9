#ifndef BRINOK_RUNTIME_NUMBER_TEXT_H_
#define BRINOK_RUNTIME_NUMBER_TEXT_H_

#include <string>
#include <string_view>

namespace brinok {

/// Number from the start of a text, locale-free: spaces, tabs and line feeds
/// are ignored wherever they stand; then an optional sign, digits with at
/// most one full stop, and an exponent (E or D, either case) only when digits
/// follow it; "&H" and "&O" start hexadecimal and octal numbers. Reading
/// stops at the first character that cannot continue the number, and a text
/// without a number at its start gives 0. Raises RunFailure(kOverflow) for a
/// value beyond the double range.
double NumberFromText(std::string_view text);

/// Text of a number with a sign position: a space before a number that is not
/// negative, a minus sign before a negative one; up to 15 significant digits,
/// no trailing zeros, no zero before the point (" .25"), and exponent form
/// ("1E+15", "-2.5E-07") outside 1E-05 to 1E+15. A zero of either sign is
/// " 0".
std::string SignedText(double value);

/// The digits of a number, with its minus sign: SignedText without the
/// space before a number that is not negative.
std::string PlainText(double value);

}  // namespace brinok

#endif  // BRINOK_RUNTIME_NUMBER_TEXT_H_
