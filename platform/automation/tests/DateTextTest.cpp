#include "automation/DateText.h"

#include <gtest/gtest.h>

#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"

namespace {

vx::OleDate Make(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  vx::OleDate out = 0;
  EXPECT_TRUE(vx::DatePartsToOle(vx::DateParts{y, mo, d, h, mi, s}, out));
  return out;
}

TEST(DateText, CLocaleGivesFourDigitYearShortDateAndLongTime) {
  const auto f = vx::DateTextFormat::FromLocale("C");
  EXPECT_EQ(vx::DateToText(Make(2026, 12, 8, 19, 5, 7), f), "12/08/2026 19:05:07");
  // The date alone at midnight.
  EXPECT_EQ(vx::DateToText(Make(2026, 12, 8), f), "12/08/2026");
  EXPECT_EQ(vx::ShortDateText(Make(2026, 12, 8, 19, 5, 7), f), "12/08/2026");
  EXPECT_EQ(vx::LongTimeText(Make(2026, 12, 8), f), "00:00:00");
}

TEST(DateText, TextReadsBackToTheSameDateAndTime) {
  const auto f = vx::DateTextFormat::FromLocale("C");
  const vx::OleDate dates[] = {Make(2026, 12, 8, 19, 5, 7), Make(2026, 12, 8), Make(1899, 12, 30, 12, 0, 0),
                               Make(1753, 1, 1, 0, 0, 1),   Make(9999, 12, 31, 23, 59, 59), Make(2000, 2, 29, 6, 7, 8),
                               Make(1899, 12, 29, 18, 0, 0)};
  for (vx::OleDate d : dates) {
    const std::string text = vx::DateToText(d, f);
    vx::OleDate back = -1;
    ASSERT_TRUE(vx::TextToDate(text, back, f)) << text;
    EXPECT_EQ(vx::DateToText(back, f), text);
    EXPECT_NEAR(back, d, 1.0 / 86400 / 2) << text;
  }
}

TEST(DateText, UserLocaleRoundTripsToo) {
  const vx::OleDate d = Make(2031, 7, 4, 8, 9, 10);
  vx::OleDate back = 0;
  ASSERT_TRUE(vx::TextToDate(vx::DateToText(d), back));
  EXPECT_NEAR(back, d, 1e-6);
}

TEST(DateText, TextThatIsNoDateIsRefusedWithTypeMismatch) {
  const auto f = vx::DateTextFormat::FromLocale("C");
  vx::OleDate out = 0;
  for (const char* bad : {"", "   ", "yesterday", "13/45/2020", "12/08/2026 25:00:00", "12/08/2026 10:00:00 junk"})
    EXPECT_FALSE(vx::TextToDate(bad, out, f)) << bad;
  try {
    vx::TextToDateOrRaise("not a date", f);
    FAIL() << "no error";
  } catch (const vx::ComError& e) {
    EXPECT_EQ(e.Number(), vx::err::kTypeMismatch);
  }
}

TEST(DateText, UnknownLocaleFallsBackToTheCPatterns) {
  const auto f = vx::DateTextFormat::FromLocale("xx_NOWHERE.UTF-8");
  EXPECT_EQ(vx::DateToText(Make(2026, 1, 2, 3, 4, 5), f), "01/02/2026 03:04:05");
}

}  // namespace
