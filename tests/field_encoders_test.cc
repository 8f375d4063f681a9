// The field encoders, on texts alone.

#include "run/field_encoders.h"

#include <gtest/gtest.h>

#include <string>

#include "runtime/number_text.h"
#include "runtime/run_failure.h"

namespace brinok {
namespace {

WeatherReading Reading(std::string dir, std::string speed, std::string gust,
                       std::string temp, std::string rain, std::string pressure,
                       std::string humidity) {
  return WeatherReading{dir, speed, gust, temp, rain, pressure, humidity};
}

struct WindCase {
  double value;
  std::string padded;
};

class WindPaddingTest : public ::testing::TestWithParam<WindCase> {};

TEST_P(WindPaddingTest, PadsToThreeDigits) {
  EXPECT_EQ(WindPadding(SignedText(GetParam().value)), GetParam().padded);
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, WindPaddingTest,
    ::testing::Values(WindCase{0, "000"}, WindCase{9, "009"},
                      WindCase{10, "010"}, WindCase{99, "099"},
                      WindCase{100, "100"},  // neither padded nor trimmed early
                      WindCase{101, "101"}, WindCase{999, "999"},
                      WindCase{1000, "1000"}, WindCase{1e20, "1E+20"}));

TEST(WindPadding, NegativeValueIsARunFailure) {
  for (double value : {-1.0, -9.0, -10.0, -100.0, -1e20}) {
    EXPECT_THROW(WindPadding(SignedText(value)), RunFailure) << value;
  }
}

TEST(WindPiece, CalmHidesTheValueButStillPads) {
  EXPECT_EQ(WindPiece(" 270", true), "...");
  EXPECT_EQ(WindPiece(" 270", false), "270");
  EXPECT_THROW(WindPiece("-5", true), RunFailure);
}

struct TemperatureCase {
  double temp;
  std::string piece;
};

class TemperaturePieceTest : public ::testing::TestWithParam<TemperatureCase> {
};

TEST_P(TemperaturePieceTest, WritesTheCaseThatHolds) {
  const double temp = GetParam().temp;
  EXPECT_EQ(TemperaturePiece(temp, SignedText(temp)), GetParam().piece);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TemperaturePieceTest,
    ::testing::Values(TemperatureCase{999, "..."}, TemperatureCase{1, "001"},
                      TemperatureCase{9, "009"}, TemperatureCase{10, "010"},
                      TemperatureCase{99, "099"}, TemperatureCase{100, "100"},
                      TemperatureCase{998, "998"},
                      TemperatureCase{1000, "1000"}, TemperatureCase{0, "000"},
                      TemperatureCase{-1, "-01"}, TemperatureCase{-9, "-09"},
                      TemperatureCase{-10, "-10"}, TemperatureCase{-99, "-99"},
                      TemperatureCase{-100, "-100"}));

TEST(PressurePiece, FiveCharactersOrNoData) {
  EXPECT_EQ(PressurePiece("10132"), "10132");
  EXPECT_EQ(PressurePiece("0-998"), "0-998");
  EXPECT_EQ(PressurePiece("099"), ".....");
  EXPECT_EQ(PressurePiece("101325"), ".....");
}

struct HumidityCase {
  double hum;
  std::string piece;
};

class HumidityPieceTest : public ::testing::TestWithParam<HumidityCase> {};

TEST_P(HumidityPieceTest, TwoDigitsOrNoData) {
  const double hum = GetParam().hum;
  EXPECT_EQ(HumidityPiece(hum, SignedText(hum)), GetParam().piece);
}

INSTANTIATE_TEST_SUITE_P(
    Values, HumidityPieceTest,
    ::testing::Values(HumidityCase{0, "..."}, HumidityCase{5, "..."},
                      HumidityCase{9, "..."}, HumidityCase{10, "10"},
                      HumidityCase{55, "55"}, HumidityCase{99, "99"},
                      HumidityCase{100, "00"},   // APRS writes 100 % as 00
                      HumidityCase{101, "..."},  // no two digits carry it
                      HumidityCase{-9, "..."}, HumidityCase{-10, "..."},
                      HumidityCase{-55, "..."}));

struct LineCase {
  const char* name;
  WeatherReading reading;
  std::string line;
};

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
        LineCase{"DirectionPadding",
                 Reading("9", "99", "100", "68", "0", "1013", "55"),
                 "009/099g100t068P0b10130h55"},
        LineCase{"TemperatureNoDataFromEmpty",
                 Reading("1", "1", "1", "", "0", "1013", "55"),
                 "001/001g001t...P0b10130h55"},
        LineCase{"Temperature999Point5IsNoData",
                 Reading("1", "1", "1", "999.5", "0", "1013", "55"),
                 "001/001g001t...P0b10130h55"},
        LineCase{"TemperatureNaIsCaseSensitive",
                 Reading("1", "1", "1", "n/a", "0", "1013", "55"),
                 "001/001g001t000P0b10130h55"},
        LineCase{"MinusHalfDegreeRoundsDown",
                 Reading("1", "1", "1", "-0.5", "0", "1013", "55"),
                 "001/001g001t-01P0b10130h55"},
        LineCase{"NegativeZeroIsZero",
                 Reading("-0", "-0.0", "-0", "-0", "0", "1013", "55"),
                 ".../...g...t000P0b10130h55"},
        LineCase{"RainKeptAsWritten",
                 Reading("1", "1", "1", "1", "N/A", "1013", "55"),
                 "001/001g001t001PN/Ab10130h55"},
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

// Collects pieces until a field fails.
class Recorder : public PieceSink {
 public:
  void Piece(std::string_view text, bool last) override {
    written.append(text);
    if (last) written.append("<end>");
  }
  std::string written;
};

TEST(EncodeDataLine, FailingFieldLeavesThePiecesBeforeIt) {
  struct Case {
    WeatherReading reading;
    std::string written;
  };
  const Case cases[] = {
      {Reading("-1", "0", "1", "1", "1", "1013", "55"), ""},
      {Reading("270", "-5", "1", "1", "1", "1013", "55"), "270/"},
      {Reading("270", "5", "-1", "1", "1", "1013", "55"), "270/005g"},
  };
  for (const Case& c : cases) {
    Recorder recorder;
    EXPECT_THROW(EncodeDataLine(Prepare(c.reading), recorder), RunFailure);
    EXPECT_EQ(recorder.written, c.written);
  }
  Recorder recorder;
  EncodeDataLine(Prepare(Reading("1", "1", "1", "1", "1", "1013", "55")),
                 recorder);
  EXPECT_EQ(recorder.written, "001/001g001t001P1b10130h55<end>");
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

TEST(StripSeparators, RemovesFullStopsAndCommasOnly) {
  EXPECT_EQ(StripSeparators("1.0,2 .,x"), "102 x");
  EXPECT_EQ(StripSeparators("..,"), "");
}

}  // namespace
}  // namespace brinok
