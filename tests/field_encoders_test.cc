// The field encoders, on texts alone.

#include "run/field_encoders.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/run_failure.h"

namespace brinok {
namespace {

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

TEST(EncodeDataLine, WindDirectionIsPaddedToThreeDigits) {
  const FieldCase cases[] = {
      {"0", "000"},      {"9", "009"},   {"10", "010"},  {"99", "099"},
      {"99.9", "099"},  // rounded down first
      {"100", "100"},    {"101", "101"}, {"999", "999"}, {"1000", "1000"},
      {"1e20", "1E+20"}, {"-0", "000"},  // negative zero is zero
  };
  for (const FieldCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.text));
    const std::string line =
        DataLine(Reading(c.text, "1", "1", "1", "0", "1013", "55"));
    EXPECT_EQ(line.substr(0, line.find('/')), c.piece);
  }
}

TEST(EncodeDataLine, TemperatureWritesTheCaseThatHolds) {
  const FieldCase cases[] = {
      {"999", "..."},   {"999.5", "..."}, {"", "..."},      {"N/A", "..."},
      {"n/a", "000"},  // "N/A" only as written
      {"1", "001"},     {"9", "009"},     {"10", "010"},    {"99", "099"},
      {"100", "100"},   {"998", "998"},   {"1000", "1000"}, {"0", "000"},
      {"-0", "000"},    {"-0.5", "-01"},  // rounded down
      {"-1", "-01"},    {"-9", "-09"},    {"-10", "-10"},   {"-99", "-99"},
      {"-100", "-100"},
  };
  for (const FieldCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.text));
    const std::string line =
        DataLine(Reading("1", "1", "1", c.text, "0", "1013", "55"));
    EXPECT_EQ(Between(line, 't', 'P'), c.piece);
  }
}

TEST(EncodeDataLine, HumidityIsTwoDigitsOrNoData) {
  const FieldCase cases[] = {
      {"0", "..."},   {"5", "..."},   {"9", "..."},
      {"9.9", "..."}, {"10", "10"},   {"55", "55"},
      {"99", "99"},   {"100", "00"},  // APRS writes 100 % as 00
      {"101", "..."},                 // no two digits carry it
      {"-9", "..."},  {"-10", "..."}, {"-55", "..."},
  };
  for (const FieldCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.text));
    const std::string line =
        DataLine(Reading("1", "1", "1", "1", "0", "1013", c.text));
    EXPECT_EQ(line.substr(line.rfind('h') + 1), c.piece);
  }
}

TEST(EncodeDataLine, EncodesTheReading) {
  const struct {
    const char* name;
    WeatherReading reading;
    std::string line;
  } cases[] = {
      {"CalmHidesDirection", Reading("270", "0", "12", "68", "0", "1013", "55"),
       ".../...g012t068P0b10130h55"},
      {"SpeedBelowOneIsCalm",
       Reading("270", "0.9", "12", "68", "0", "1013", "55"),
       ".../...g012t068P0b10130h55"},
      {"GustAloneNoData", Reading("270", "5", "0", "68", "0", "1013", "55"),
       "270/005g...t068P0b10130h55"},
      {"SpeedAndGustPadded", Reading("9", "99", "100", "68", "0", "1013", "55"),
       "009/099g100t068P0b10130h55"},
      {"NegativeZeroIsZero",
       Reading("-0", "-0.0", "-0", "-0", "0", "1013", "55"),
       ".../...g...t000P0b10130h55"},
      {"RainKeptAsWritten", Reading("1", "1", "1", "1", "N/A", "1013", "55"),
       "001/001g001t001PN/Ab10130h55"},
      {"RainLosesFullStopsAndCommasOnly",
       Reading("1", "1", "1", "1", "1.0,2 .,x", "1013", "55"),
       "001/001g001t001P102 xb10130h55"},
      {"EmptyRain", Reading("1", "1", "1", "1", "", "1013", "55"),
       "001/001g001t001Pb10130h55"},
      {"TwoDecimalPressureNoData",
       Reading("1", "1", "1", "1", "0", "1013.25", "55"),
       "001/001g001t001P0b.....h55"},
      {"ThreeDigitPressure", Reading("1", "1", "1", "1", "0", "998", "55"),
       "001/001g001t001P0b09980h55"},
      // 10000 is the first pressure written without a leading zero.
      {"PressureOf1000IsFiveDigits",
       Reading("1", "1", "1", "1", "0", "1000", "55"),
       "001/001g001t001P0b10000h55"},
      {"TwoCharacterPressureNoData",
       Reading("1", "1", "1", "1", "0", "99", "55"),
       "001/001g001t001P0b.....h55"},
      {"NegativePressure", Reading("1", "1", "1", "1", "0", "-99.8", "55"),
       "001/001g001t001P0b0-998h55"},
      {"PressureWithFraction", Reading("1", "1", "1", "1", "0", "125E-1", "55"),
       "001/001g001t001P0b012.5h55"},
      {"TextsWithoutNumbers", Reading("x", "y", "z", "w", "v", "u", "t"),
       ".../...g...t000Pvb.....h..."},
      {"AllEmpty", Reading("", "", "", "", "", "", ""),
       ".../...g...t...Pb.....h..."}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DataLine(c.reading), c.line);
  }
}

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

// The rows of a data file of the documents: tab-separated cells, without
// the comment lines.
std::vector<std::vector<std::string>> DocumentRows(const std::string& name) {
  std::ifstream file(std::string(BRINOK_DOCS_DIR) + "/" + name);
  EXPECT_TRUE(file) << "cannot read docs/" << name;
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(file, line);) {
    if (line.starts_with('#')) continue;
    std::istringstream cells(line);
    rows.emplace_back();
    for (std::string cell; std::getline(cells, cell, '\t');) {
      rows.back().push_back(cell);
    }
  }
  return rows;
}

// What the reference shows is what the encoders do: the worked examples, and
// each way of writing a line (in the first example's log) with its field.
TEST(EncodeDataLine, TheReferenceShowsWhatItDoes) {
  const auto examples = DocumentRows("examples.tsv");
  ASSERT_FALSE(examples.empty());
  for (const auto& row : examples) {
    ASSERT_EQ(row.size(), 8u);
    SCOPED_TRACE(row[7]);
    EXPECT_EQ(DataLine(Reading(row[0], row[1], row[2], row[3], row[4], row[5],
                               row[6])),
              row[7]);
  }
  const auto& base = examples.front();
  for (const auto& row : DocumentRows("log-lines.tsv")) {
    ASSERT_EQ(row.size(), 4u);
    SCOPED_TRACE("line " + row[0] + " written as \"" + row[1] + "\"");
    std::vector<std::string> texts(base.begin(), base.begin() + 7);
    const int line = std::stoi(row[0]);
    texts.at(line - 1) = row[1];
    std::vector<std::string> pieces;
    EncodeDataLine(Prepare(Reading(texts[0], texts[1], texts[2], texts[3],
                                   texts[4], texts[5], texts[6])),
                   [&](std::string_view piece) { pieces.emplace_back(piece); });
    // The pieces alternate: the direction, then each field's letter and value.
    const std::string field =
        line == 1 ? pieces.at(0)
                  : pieces.at(2 * line - 3) + pieces.at(2 * line - 2);
    EXPECT_EQ(field, row[2]);
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
