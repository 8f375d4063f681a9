// The field encoders, on texts alone.

#include "run/field_encoders.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "row_name.h"
#include "runtime/run_failure.h"

namespace brinok {
namespace {

using ::brinok::testing::RowName;

WeatherReading Reading(std::string dir, std::string speed, std::string gust,
                       std::string temp, std::string rain, std::string pressure,
                       std::string humidity) {
  return WeatherReading{dir, speed, gust, temp, rain, pressure, humidity};
}

std::string DataLine(const WeatherReading& reading) {
  std::string line;
  EncodeDataLine(Prepare(reading),
                 [&](std::string_view piece) { line.append(piece); });
  return line;
}

// The piece of a data line between two field letters.
std::string Between(const std::string& line, char after, char before) {
  const std::size_t start = line.find(after) + 1;
  return line.substr(start, line.find(before, start) - start);
}

// One value of one field, in a reading whose other fields are plain.
struct FieldCase {
  std::string text;
  std::string piece;
};

void PrintTo(const FieldCase& field_case, std::ostream* out) {
  *out << '"' << field_case.text << '"';
}

class WindDirectionTest : public ::testing::TestWithParam<FieldCase> {};

TEST_P(WindDirectionTest, IsPaddedToThreeDigits) {
  const std::string line =
      DataLine(Reading(GetParam().text, "1", "1", "1", "0", "1013", "55"));
  EXPECT_EQ(line.substr(0, line.find('/')), GetParam().piece);
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, WindDirectionTest,
    ::testing::Values(FieldCase{"0", "000"}, FieldCase{"9", "009"},
                      FieldCase{"10", "010"}, FieldCase{"99", "099"},
                      FieldCase{"99.9", "099"},  // rounded down first
                      FieldCase{"100", "100"}, FieldCase{"101", "101"},
                      FieldCase{"999", "999"}, FieldCase{"1000", "1000"},
                      FieldCase{"1e20", "1E+20"},
                      FieldCase{"-0", "000"}),  // negative zero is zero
    [](const auto& info) { return RowName(info.param.text); });

class TemperatureTest : public ::testing::TestWithParam<FieldCase> {};

TEST_P(TemperatureTest, WritesTheCaseThatHolds) {
  const std::string line =
      DataLine(Reading("1", "1", "1", GetParam().text, "0", "1013", "55"));
  EXPECT_EQ(Between(line, 't', 'P'), GetParam().piece);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TemperatureTest,
    ::testing::Values(FieldCase{"999", "..."}, FieldCase{"999.5", "..."},
                      FieldCase{"", "..."}, FieldCase{"N/A", "..."},
                      FieldCase{"n/a", "000"},  // "N/A" only as written
                      FieldCase{"1", "001"}, FieldCase{"9", "009"},
                      FieldCase{"10", "010"}, FieldCase{"99", "099"},
                      FieldCase{"100", "100"}, FieldCase{"998", "998"},
                      FieldCase{"1000", "1000"}, FieldCase{"0", "000"},
                      FieldCase{"-0", "000"},
                      FieldCase{"-0.5", "-01"},  // rounded down
                      FieldCase{"-1", "-01"}, FieldCase{"-9", "-09"},
                      FieldCase{"-10", "-10"}, FieldCase{"-99", "-99"},
                      FieldCase{"-100", "-100"}),
    [](const auto& info) { return RowName(info.param.text); });

class HumidityTest : public ::testing::TestWithParam<FieldCase> {};

TEST_P(HumidityTest, TwoDigitsOrNoData) {
  const std::string line =
      DataLine(Reading("1", "1", "1", "1", "0", "1013", GetParam().text));
  EXPECT_EQ(line.substr(line.rfind('h') + 1), GetParam().piece);
}

INSTANTIATE_TEST_SUITE_P(
    Values, HumidityTest,
    ::testing::Values(FieldCase{"0", "..."}, FieldCase{"5", "..."},
                      FieldCase{"9", "..."}, FieldCase{"9.9", "..."},
                      FieldCase{"10", "10"}, FieldCase{"55", "55"},
                      FieldCase{"99", "99"},
                      FieldCase{"100", "00"},   // APRS writes 100 % as 00
                      FieldCase{"101", "..."},  // no two digits carry it
                      FieldCase{"-9", "..."}, FieldCase{"-10", "..."},
                      FieldCase{"-55", "..."}),
    [](const auto& info) { return RowName(info.param.text); });

struct LineCase {
  const char* name;
  WeatherReading reading;
  std::string line;
};

void PrintTo(const LineCase& line_case, std::ostream* out) {
  *out << line_case.name;
}

class DataLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(DataLineTest, EncodesTheReading) {
  EXPECT_EQ(DataLine(GetParam().reading), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Readings, DataLineTest,
    ::testing::Values(
        LineCase{"CalmHidesDirection",
                 Reading("270", "0", "12", "68", "0", "1013", "55"),
                 ".../...g012t068P0b10130h55"},
        LineCase{"SpeedBelowOneIsCalm",
                 Reading("270", "0.9", "12", "68", "0", "1013", "55"),
                 ".../...g012t068P0b10130h55"},
        LineCase{"GustAloneNoData",
                 Reading("270", "5", "0", "68", "0", "1013", "55"),
                 "270/005g...t068P0b10130h55"},
        LineCase{"SpeedAndGustPadded",
                 Reading("9", "99", "100", "68", "0", "1013", "55"),
                 "009/099g100t068P0b10130h55"},
        LineCase{"NegativeZeroIsZero",
                 Reading("-0", "-0.0", "-0", "-0", "0", "1013", "55"),
                 ".../...g...t000P0b10130h55"},
        LineCase{"RainKeptAsWritten",
                 Reading("1", "1", "1", "1", "N/A", "1013", "55"),
                 "001/001g001t001PN/Ab10130h55"},
        LineCase{"RainLosesFullStopsAndCommasOnly",
                 Reading("1", "1", "1", "1", "1.0,2 .,x", "1013", "55"),
                 "001/001g001t001P102 xb10130h55"},
        LineCase{"EmptyRain", Reading("1", "1", "1", "1", "", "1013", "55"),
                 "001/001g001t001Pb10130h55"},
        LineCase{"TwoDecimalPressureNoData",
                 Reading("1", "1", "1", "1", "0", "1013.25", "55"),
                 "001/001g001t001P0b.....h55"},
        LineCase{"ThreeDigitPressure",
                 Reading("1", "1", "1", "1", "0", "998", "55"),
                 "001/001g001t001P0b09980h55"},
        // 10000 is the first pressure written without a leading zero.
        LineCase{"PressureOf1000IsFiveDigits",
                 Reading("1", "1", "1", "1", "0", "1000", "55"),
                 "001/001g001t001P0b10000h55"},
        LineCase{"TwoCharacterPressureNoData",
                 Reading("1", "1", "1", "1", "0", "99", "55"),
                 "001/001g001t001P0b.....h55"},
        LineCase{"NegativePressure",
                 Reading("1", "1", "1", "1", "0", "-99.8", "55"),
                 "001/001g001t001P0b0-998h55"},
        LineCase{"PressureWithFraction",
                 Reading("1", "1", "1", "1", "0", "125E-1", "55"),
                 "001/001g001t001P0b012.5h55"},
        LineCase{"TextsWithoutNumbers",
                 Reading("x", "y", "z", "w", "v", "u", "t"),
                 ".../...g...t000Pvb.....h..."},
        LineCase{"AllEmpty", Reading("", "", "", "", "", "", ""),
                 ".../...g...t...Pb.....h..."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EncodeDataLine, NegativeWindFailsAfterThePiecesBeforeIt) {
  struct Case {
    WeatherReading reading;
    std::string written;
  };
  const Case cases[] = {
      // Even when a calm speed hides the direction.
      {Reading("-1", "0", "1", "1", "1", "1013", "55"), ""},
      {Reading("-9", "5", "1", "1", "1", "1013", "55"), ""},
      {Reading("270", "-5", "1", "1", "1", "1013", "55"), "270/"},
      {Reading("270", "5", "-1", "1", "1", "1013", "55"), "270/005g"},
      {Reading("270", "5", "-1e20", "1", "1", "1013", "55"), "270/005g"},
  };
  for (const Case& c : cases) {
    std::string written;
    try {
      EncodeDataLine(Prepare(c.reading),
                     [&](std::string_view piece) { written.append(piece); });
      ADD_FAILURE() << "a negative wind value was encoded: " << written;
    } catch (const RunFailure& failure) {
      EXPECT_EQ(failure.kind(), FailureKind::kTypeMismatch);
    }
    EXPECT_EQ(written, c.written);
  }
}

TEST(Prepare, NumberBeyondRangeFailsInAnyFieldButRain) {
  for (int field = 0; field < 7; ++field) {
    std::string texts[7] = {"1", "1", "1", "1", "1", "1013", "55"};
    texts[field] = "1e400";
    const WeatherReading reading = Reading(
        texts[0], texts[1], texts[2], texts[3], texts[4], texts[5], texts[6]);
    if (field == 4) {
      EXPECT_NO_THROW(Prepare(reading));
    } else {
      EXPECT_THROW(Prepare(reading), RunFailure) << "field " << field;
    }
  }
}

}  // namespace
}  // namespace brinok
