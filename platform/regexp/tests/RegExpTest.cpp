#include "regexp/RegExp.h"

#include <gtest/gtest.h>

#include <string>

#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"

using vx::regexp::RegExp;

namespace {

std::string ReplaceAll(const std::string& pattern, const std::string& text, const std::string& with = "") {
  return RegExp(pattern, true, true, false).Replace(text, with);
}

}  // namespace

TEST(RegExpTest, MeaningsHoldWhateverTheLibraryDefaults) {
  // "." is anything but a line feed: a carriage return is matched.
  EXPECT_EQ(ReplaceAll(".", "a\r\nb", "x"), "xx\nx");
  // "\s" is exactly space, FF, LF, CR, TAB, VT; no-break and em spaces stay.
  EXPECT_EQ(ReplaceAll(R"(\s)", " \f\n\r\t\va\xC2\xA0" "b\xE2\x80\x83"), "a\xC2\xA0" "b\xE2\x80\x83");
  // A negated class runs over line ends; « and » are single characters.
  EXPECT_EQ(ReplaceAll("\xC2\xAB[^\xC2\xBB]*\xC2\xBB", "1\xC2\xAB a\r\n\xC2\xAB b\n\xC2\xBB" "2"), "12");
  // Alternatives are tried left to right.
  EXPECT_EQ(ReplaceAll(R"(\\cf |\\cf\\par|\\par )", "\\cf\\par x\\cf y\\cfz"), " xy\\cfz");
  EXPECT_EQ(ReplaceAll("a|ab", "ab"), "b");
  // The pattern of a line comment eats the rest of the line and the line feeds after it.
  EXPECT_EQ(ReplaceAll(R"(\\cf8 --.*\n*)", "a\\cf8 -- c\\cf \r\n\n\\par b"), "a\\par b");
}

TEST(RegExpTest, SwitchesGlobalIgnoreCaseMultiline) {
  RegExp first("ab");
  EXPECT_EQ(first.Replace("abAbab", "-"), "-Abab");
  first.SetGlobal(true);
  EXPECT_EQ(first.Replace("abAbab", "-"), "-Ab-");
  first.SetIgnoreCase(true);
  EXPECT_EQ(first.Replace("abAbab", "-"), "---");

  RegExp lineStart("^x", true, false, false);
  EXPECT_EQ(lineStart.Replace("x\nx", "-"), "-\nx");
  lineStart.SetMultiline(true);
  EXPECT_EQ(lineStart.Replace("x\nx", "-"), "-\n-");
  // Without Multiline "$" is the very end only, not before a last line feed.
  EXPECT_FALSE(RegExp("a$").Test("a\n"));
  EXPECT_TRUE(RegExp("a$", false, true, false).Test("a\n"));
}

TEST(RegExpTest, ReplaceTextsAndEmptyMatches) {
  EXPECT_EQ(RegExp(R"((\w+) (\w+))", true).Replace("one two", "$2 $1 $$ $& $3"), "two one $ one two $3");
  EXPECT_EQ(RegExp("b", true).Replace("abc", "[$`|$']"), "a[a|c]c");
  EXPECT_EQ(RegExp("x*", true).Replace("abc", "-"), "-a-b-c-");
  EXPECT_EQ(RegExp("x*", true).Replace("\xC2\xAB\xC2\xBB", "-"), "-\xC2\xAB-\xC2\xBB-");
  // NUL characters are ordinary characters.
  EXPECT_EQ(ReplaceAll(R"(\s)", std::string("a\0 b", 4)), std::string("a\0b", 3));
}

TEST(RegExpTest, ExecuteCountsCharactersNotBytes) {
  auto matches = RegExp("b+", true).Execute("\xC2\xAB\xC2\xAC" "bb\xC2\xBB" "b");
  ASSERT_EQ(matches.size(), 2u);
  EXPECT_EQ(matches[0].FirstIndex, 2u);
  EXPECT_EQ(matches[0].Length, 2u);
  EXPECT_EQ(matches[0].Value, "bb");
  EXPECT_EQ(matches[1].FirstIndex, 5u);
  auto groups = RegExp("(a)(x)?(c)").Execute("zac");
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0].SubMatches, (std::vector<std::string>{"a", "", "c"}));
}

TEST(RegExpTest, FailuresAreClearErrors) {
  try {
    RegExp("(unclosed").Test("x");
    FAIL() << "no error";
  } catch (const vx::ComError& e) {
    EXPECT_EQ(e.Number(), vx::err::kRegExpSyntax);
    EXPECT_NE(e.Description().find("regular expression"), std::string::npos);
  }
  try {
    ReplaceAll(R"(\s)", "a \xC3(");
    FAIL() << "no error";
  } catch (const vx::ComError& e) {
    EXPECT_EQ(e.Number(), vx::err::kInvalidProcedureCall);
    EXPECT_NE(e.Description().find("UTF-8"), std::string::npos);
  }
}

TEST(RegExpTest, ManyMatchesInALongTextStayLinear) {
  // Re-checking the subject's UTF-8 at every match would make this quadratic.
  std::string text;
  for (int i = 0; i < 500000; ++i) text += "a \xC2\xAB";
  const std::string result = ReplaceAll(R"(\s)", text);
  EXPECT_EQ(result.size(), text.size() - 500000);
}
