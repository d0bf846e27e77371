// The RTF document of a T-SQL text.
#include <gtest/gtest.h>

#include <string>

#include "vexilon_lib/basParse.h"

namespace {

const std::string kHeader =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1033{\\fonttbl{\\f0\\fmodern MS Shell Dlg;}}{\\colortbl\\red0\\green0\\blue0;"
    "\\red0\\green0\\blue255;\\red0\\green0\\blue255;\\red255\\green0\\blue255;\\red0\\green0\\blue255;\\red128\\green128"
    "\\blue128;\\red255\\green0\\blue0;\\red0\\green0\\blue255;\\red64\\green128\\blue128;\\red0\\green0\\blue0;\\red0"
    "\\green0\\blue0;\\red0\\green0\\blue0;\\red0\\green0\\blue0;\\red0\\green0\\blue0;\\red0\\green0\\blue0;\\red0"
    "\\green0\\blue0;} \\deflang1033\\plain\\f0\\fs16\\par ";

}  // namespace

TEST(RtfSyntaxTest, HeaderAndEmptyText) {
  EXPECT_EQ(basParse::kRtfHeader, kHeader);
  EXPECT_EQ(basParse::WrapRtfDocument(""), kHeader + "}");
  EXPECT_EQ(basParse::ParseSQLSyntax(""), kHeader + "}");
}

TEST(RtfSyntaxTest, EscapingDoublesBackslashesOnlyOnce) {
  EXPECT_EQ(basParse::EscapeRtfText("a\\b{c}\\{"), "a\\\\b\\{c\\}\\\\\\{");
  EXPECT_EQ(basParse::EscapeRtfText(""), "");
}

TEST(RtfSyntaxTest, WholeDocument) {
  EXPECT_EQ(basParse::ParseSQLSyntax("SELECT '{x}' AS a -- c:\\tmp\r\nFROM t\\{u}"),
            kHeader +
                "\\cf1 SELECT\\cf  \\cf4 '\\{x\\}'\\cf  \\cf1 AS\\cf  \\cf10 a\\cf  \\cf8 -- c:\\\\tmp\\cf \r\n"
                "\\par \\cf1 FROM\\cf  \\cf10 t\\cf \\cf5 \\\\\\cf \\cf5 \\{\\cf \\cf10 u\\cf \\cf5 \\}\\cf }");
}
