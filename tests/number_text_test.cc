// Numbers from texts and texts from numbers.

#include "runtime/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "runtime/run_failure.h"

namespace brinok {
namespace {

TEST(NumberFromText, ReadsTheLeadingNumber) {
  const struct {
    std::string text;
    double number;
  } cases[] = {
      {"68.5", 68.5},
      {" 12 mph", 12},
      {"N/A", 0},
      {"", 0},
      {"-4", -4},
      {"1013.2", 1013.2},
      {"1 0 1 3", 1013},    // spaces vanish anywhere
      {"1\t0\n1 3", 1013},  // so do tabs and line feeds
      {"12abc", 12},
      {"1,25", 1},
      {"-0.5", -0.5},
      {".5", 0.5},
      {"5.", 5},
      {"+7", 7},
      {"1.2.3", 1.2},   // one full stop at most
      {"270deg", 270},  // E with no digits after it
      {"1e3", 1000},
      {"1E+3", 1000},
      {"25e-1", 2.5},
      {"1D2", 100},
      {"1d-2", 0.01},
      {"1 e 2", 100},
      {"3e", 3},
      {"3e+", 3},
      {"3e-x", 3},
      {"-", 0},  // a lone sign
      // One sign at most.
      {"--5", 0},
      {"+-5", 0},
      {".", 0},  // a lone full stop
      {"-.", 0},
      {"e5", 0},
      {"&H1F", 31},
      {"&hff", 255},
      {"&O17", 15},
      {"&o7777", 4095},
      {"&H", 0},
      {"&O8", 0},
      {"&O19", 1},    // 9 is no octal digit and ends it
      {"&O18", 1},    // nor is 8, after valid digits
      {"&O779", 63},  // nor 9
      {"&", 0},
      {"& H 1 0", 16},
      {"&HFFFFFFFFFFFFF", 4503599627370495.0},
      {"&O1777777777777777777777", 18446744073709551615.0},
      {"0.1", 0.1},   // correctly rounded
      {"1e-400", 0},  // underflow is zero, not failure
      // Zeros after the point count in the magnitude: 1E-396 underflows.
      {"0." + std::string(400, '0') + "1e5", 0},
      {"0." + std::string(400, '0') + "1e+5", 0},  // a sign is no digit
      // An exponent beyond 64 bits is still a tiny number's.
      {"1e-18446744073709551615", 0},
      {"1.7976931348623157e308", 1.7976931348623157e308},
      {"00000000000000000000000042", 42},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.text));
    EXPECT_EQ(NumberFromText(c.text), c.number);
  }
}

TEST(NumberFromText, BeyondDoubleRangeIsOverflow) {
  for (const std::string& text :
       {std::string("1e309"), std::string("-1e309"), std::string("1D400"),
        std::string("1e99999999999999999999"),
        std::string("1e18446744073709551615"),
        // The largest exponent that fits 64 bits, plus the digits' own.
        std::string("12e9223372036854775807"), std::string(400, '9'),
        "&H" + std::string(300, 'F'), "&O" + std::string(400, '7')}) {
    try {
      NumberFromText(text);
      ADD_FAILURE() << text.substr(0, 24) << " converted";
    } catch (const RunFailure& failure) {
      EXPECT_EQ(failure.kind(), FailureKind::kOverflow) << text.substr(0, 24);
    }
  }
}

TEST(SignedText, WritesSignPositionAndDigits) {
  const struct {
    double number;
    std::string signed_text;
  } cases[] = {
      {0, " 0"},
      {-0.0, " 0"},
      {5, " 5"},
      {55, " 55"},
      {100, " 100"},
      {-5, "-5"},
      {-12, "-12"},
      {0.25, " .25"},
      {-0.25, "-.25"},
      {12.5, " 12.5"},
      {1013.2, " 1013.2"},
      {0.1, " .1"},
      {1.0 / 3, " .333333333333333"},  // 15 significant digits
      {2.0 / 3, " .666666666666667"},
      {999999999999999, " 999999999999999"},  // 15 digits
      {1e15, " 1E+15"},                       // 16 digits
      {-1234567890123456789.0, "-1.23456789012346E+18"},
      {1e300, " 1E+300"},
      {0.00001, " .00001"},
      {0.000001, " 1E-06"},
      {-2.5e-7, "-2.5E-07"},
      {123456.789, " 123456.789"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.signed_text));
    EXPECT_EQ(SignedText(c.number), c.signed_text);
  }
}

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
