// Numbers from texts and texts from numbers.

#include "runtime/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>

#include "row_name.h"
#include "runtime/run_failure.h"

namespace brinok {
namespace {

using ::brinok::testing::RowName;

struct FromTextCase {
  std::string text;
  double number;
};

void PrintTo(const FromTextCase& from_text_case, std::ostream* out) {
  *out << '"' << from_text_case.text.substr(0, 40) << '"';
}

class NumberFromTextTest : public ::testing::TestWithParam<FromTextCase> {};

TEST_P(NumberFromTextTest, ReadsTheLeadingNumber) {
  EXPECT_EQ(NumberFromText(GetParam().text), GetParam().number)
      << "text: \"" << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Texts, NumberFromTextTest,
    ::testing::Values(
        FromTextCase{"68.5", 68.5}, FromTextCase{" 12 mph", 12},
        FromTextCase{"N/A", 0}, FromTextCase{"", 0}, FromTextCase{"-4", -4},
        FromTextCase{"1013.2", 1013.2},
        FromTextCase{"1 0 1 3", 1013},    // spaces vanish anywhere
        FromTextCase{"1\t0\n1 3", 1013},  // so do tabs and line feeds
        FromTextCase{"12abc", 12}, FromTextCase{"1,25", 1},
        FromTextCase{"-0.5", -0.5}, FromTextCase{".5", 0.5},
        FromTextCase{"5.", 5}, FromTextCase{"+7", 7},
        FromTextCase{"1.2.3", 1.2},   // one full stop at most
        FromTextCase{"270deg", 270},  // E with no digits after it
        FromTextCase{"1e3", 1000}, FromTextCase{"1E+3", 1000},
        FromTextCase{"25e-1", 2.5}, FromTextCase{"1D2", 100},
        FromTextCase{"1d-2", 0.01}, FromTextCase{"1 e 2", 100},
        FromTextCase{"3e", 3}, FromTextCase{"3e+", 3}, FromTextCase{"3e-x", 3},
        FromTextCase{"-", 0},                            // a lone sign
        FromTextCase{"--5", 0}, FromTextCase{"+-5", 0},  // one sign at most
        FromTextCase{".", 0},                            // a lone full stop
        FromTextCase{"-.", 0}, FromTextCase{"e5", 0}, FromTextCase{"&H1F", 31},
        FromTextCase{"&hff", 255}, FromTextCase{"&O17", 15},
        FromTextCase{"&o7777", 4095}, FromTextCase{"&H", 0},
        FromTextCase{"&O8", 0},
        FromTextCase{"&O19", 1},    // 9 is no octal digit and ends it
        FromTextCase{"&O18", 1},    // nor is 8, after valid digits
        FromTextCase{"&O779", 63},  // nor 9
        FromTextCase{"&", 0}, FromTextCase{"& H 1 0", 16},
        FromTextCase{"&HFFFFFFFFFFFFF", 4503599627370495.0},
        FromTextCase{"&O1777777777777777777777", 18446744073709551615.0},
        FromTextCase{"0.1", 0.1},   // correctly rounded
        FromTextCase{"1e-400", 0},  // underflow is zero, not failure
        // Zeros after the point count in the magnitude: 1E-396 underflows.
        FromTextCase{"0." + std::string(400, '0') + "1e5", 0},
        // An exponent beyond 64 bits is still a tiny number's.
        FromTextCase{"1e-18446744073709551615", 0},
        FromTextCase{"1.7976931348623157e308", 1.7976931348623157e308},
        FromTextCase{"00000000000000000000000042", 42}),
    [](const auto& info) { return RowName(info.param.text); });

TEST(NumberFromText, BeyondDoubleRangeIsOverflow) {
  for (const std::string& text :
       {std::string("1e309"), std::string("-1e309"), std::string("1D400"),
        std::string("1e99999999999999999999"),
        std::string("1e18446744073709551615"), std::string(400, '9'),
        "&H" + std::string(300, 'F'), "&O" + std::string(400, '7')}) {
    try {
      NumberFromText(text);
      ADD_FAILURE() << text.substr(0, 24) << " converted";
    } catch (const RunFailure& failure) {
      EXPECT_EQ(failure.kind(), FailureKind::kOverflow) << text.substr(0, 24);
    }
  }
}

struct ToTextCase {
  double number;
  std::string signed_text;
};

void PrintTo(const ToTextCase& to_text_case, std::ostream* out) {
  *out << to_text_case.signed_text;
}

class SignedTextTest : public ::testing::TestWithParam<ToTextCase> {};

TEST_P(SignedTextTest, WritesSignPositionAndDigits) {
  EXPECT_EQ(SignedText(GetParam().number), GetParam().signed_text);
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, SignedTextTest,
    ::testing::Values(
        ToTextCase{0, " 0"}, ToTextCase{-0.0, " 0"}, ToTextCase{5, " 5"},
        ToTextCase{55, " 55"}, ToTextCase{100, " 100"}, ToTextCase{-5, "-5"},
        ToTextCase{-12, "-12"}, ToTextCase{0.25, " .25"},
        ToTextCase{-0.25, "-.25"}, ToTextCase{12.5, " 12.5"},
        ToTextCase{1013.2, " 1013.2"}, ToTextCase{0.1, " .1"},
        ToTextCase{1.0 / 3, " .333333333333333"},  // 15 significant digits
        ToTextCase{2.0 / 3, " .666666666666667"},
        ToTextCase{999999999999999, " 999999999999999"},  // 15 digits
        ToTextCase{1e15, " 1E+15"},                       // 16 digits
        ToTextCase{-1234567890123456789.0, "-1.23456789012346E+18"},
        ToTextCase{1e300, " 1E+300"}, ToTextCase{0.00001, " .00001"},
        ToTextCase{0.000001, " 1E-06"}, ToTextCase{-2.5e-7, "-2.5E-07"},
        ToTextCase{123456.789, " 123456.789"}),
    [](const auto& info) {
      std::ostringstream number;
      number.precision(17);
      number << info.param.number;
      return RowName(number.str());
    });

TEST(PlainText, DropsOnlyTheSpace) {
  EXPECT_EQ(PlainText(5), "5");
  EXPECT_EQ(PlainText(-5), "-5");
  EXPECT_EQ(PlainText(0), "0");
}

TEST(SignedText, WholeNumbersUpTo15DigitsReadBack) {
  for (double value = 1; value < 1e15; value = value * 7 + 3) {
    EXPECT_EQ(NumberFromText(SignedText(value)), value);
    EXPECT_EQ(NumberFromText(SignedText(-value)), -value);
  }
}

}  // namespace
}  // namespace brinok
