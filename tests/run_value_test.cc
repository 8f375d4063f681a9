// Comparing working values with numbers.

#include "runtime/run_value.h"

#include <gtest/gtest.h>

#include "runtime/run_failure.h"

namespace brinok {
namespace {

TEST(RunValue, TextsCompareAsTheirNumbers) {
  EXPECT_TRUE(RunValue(std::string("005")) < 10);
  EXPECT_TRUE(RunValue(std::string("050")) < 100);
  EXPECT_TRUE(RunValue(std::string("050")) >= 10);
  EXPECT_FALSE(RunValue(std::string("050")) > 100);
  EXPECT_TRUE(RunValue(std::string(" 100")) == 100);
  EXPECT_TRUE(RunValue(std::string(" 100")) <= 100);
  EXPECT_FALSE(RunValue(std::string(" 100")) > 100);
  EXPECT_TRUE(RunValue(std::string("-12")) <= -10);
}

TEST(RunValue, PaddedNegativeTextIsAMismatchNotFalse) {
  const RunValue padded(std::string("00-5"));
  EXPECT_THROW((void)(padded < 100), RunFailure);
  EXPECT_THROW((void)(padded == 0), RunFailure);
}

TEST(RunValue, NumbersAndTruthValues) {
  EXPECT_TRUE(RunValue(9.5) < 10);
  EXPECT_TRUE(RunValue(true) == -1);
  EXPECT_TRUE(RunValue(false) == 0);
  EXPECT_EQ(RunValue(-4.0).Text(), "-4");
  EXPECT_EQ(RunValue(std::string(" 7")).Text(), " 7");
}

TEST(RunValue, AbsoluteConvertsTexts) {
  EXPECT_EQ(Absolute(RunValue(std::string("-4"))).Text(), "4");
  EXPECT_EQ(Absolute(RunValue(-2.5)).Number(), 2.5);
  EXPECT_THROW(Absolute(RunValue(std::string("0-4"))), RunFailure);
}

}  // namespace
}  // namespace brinok
