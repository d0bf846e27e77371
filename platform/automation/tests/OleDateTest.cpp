#include <gtest/gtest.h>

#include "automation/OleDate.h"

using vx::DateParts;
using vx::OleDate;

TEST(OleDate, KnownDatesAndRoundTrip) {
  struct Row {
    DateParts parts;
    double ole;
  } rows[] = {
      {{1899, 12, 30, 0, 0, 0}, 0.0},
      {{1900, 1, 1, 0, 0, 0}, 2.0},
      {{2000, 2, 29, 12, 0, 0}, 36585.5},
      {{1899, 12, 29, 6, 0, 0}, -1.25},
  };
  for (const auto& r : rows) {
    OleDate d = 99;
    ASSERT_TRUE(vx::DatePartsToOle(r.parts, d));
    EXPECT_DOUBLE_EQ(d, r.ole);
    DateParts back = vx::OleToDateParts(d);
    EXPECT_EQ(back.year, r.parts.year);
    EXPECT_EQ(back.month, r.parts.month);
    EXPECT_EQ(back.day, r.parts.day);
    EXPECT_EQ(back.hour, r.parts.hour);
  }
}

TEST(OleDate, InvalidFieldsAreRefused) {
  OleDate d = 0;
  EXPECT_FALSE(vx::DatePartsToOle({2001, 2, 29, 0, 0, 0}, d));
  EXPECT_FALSE(vx::DatePartsToOle({2001, 13, 1, 0, 0, 0}, d));
  EXPECT_FALSE(vx::DatePartsToOle({2001, 1, 1, 24, 0, 0}, d));
}

TEST(OleDate, SecondsSurviveTheRoundTrip) {
  OleDate d = 0;
  ASSERT_TRUE(vx::DatePartsToOle({2026, 12, 8, 23, 59, 59}, d));
  DateParts p = vx::OleToDateParts(d);
  EXPECT_EQ(p.day, 8);
  EXPECT_EQ(p.hour, 23);
  EXPECT_EQ(p.minute, 59);
  EXPECT_EQ(p.second, 59);
}
