// The helpers of the rewrite, and the colouring contract as the rewrite reads it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "syntax_colourer/SyntaxColourer.h"
#include "vexilon_lib/basParse.h"

using namespace basParse;

namespace {

std::string ReplaceAll(std::string text, const std::string& find, const std::string& with) {
  for (std::size_t at = text.find(find); at != std::string::npos; at = text.find(find, at + with.size())) {
    text.replace(at, find.size(), with);
  }
  return text;
}

}  // namespace

TEST(ParseHelpersTest, MasksGoOnInOrderAndComeOffAgain) {
  const std::string text = "\\cf \\cf\\par \\cf1 \\cf10 \\cf2\\cf3\\cf4\\cf5\\cf6\\cf7\\cf8 \\par \xC2\xAB\xC2\xAC\xC2\xBB";
  const std::string masked = MaskRtfCodes(text);
  EXPECT_EQ(masked,
            "__________cf __________cfpar __________cf1 __________cf10 __________cf2__________cf3__________cf4"
            "__________cf5__________cf6__________cf7__________cf8 __________par "
            "__________Chr171__________Chr172__________Chr187");
  EXPECT_EQ(UnmaskRtfCodes(masked), text);
}

TEST(ParseHelpersTest, PatternHelpers) {
  EXPECT_EQ(StripRtfCodes("\\cf1 A\\cf \\cf2 b\\cf\\par\\cf\n\\par\\cf10 c\\cf \\par x\\cf9 y"), "\\cf1 Abcx\\cf9 y");
  EXPECT_EQ(RemoveLineComments("a\\cf8 -- c */\\cf \r\n\n\\par b\\cf8 --end"), "a\\par b");
  EXPECT_EQ(RemoveWhitespace(" a\f\n\r\t\vb\xC2\xA0"), "ab\xC2\xA0");
  EXPECT_EQ(FixDataTypeColours("\\CF10 BIGINT\\CF \\cf1 Text\\cf \\cf10 bigintx\\cf \\cf3 DateTime\\cf "
                               "\\cf10 NVarChar\\cf \\cf1 SYSNAME\\cf \\cf1 image\\cf"),
            "\\cf2 bigint\\cf \\cf2 text\\cf \\cf10 bigintx\\cf \\cf2 datetime\\cf "
            "\\cf2 nvarchar\\cf \\cf2 sysname\\cf \\cf2 image\\cf");
}

TEST(ParseHelpersTest, BlockComments) {
  // A plain comment; the closing code's space stays and keeps the words apart.
  EXPECT_EQ(RemoveBlockComments("\\cf10 x\\cf \\cf8 /* a\n\\par */\\cf \\cf10 y\\cf "),
            "\\cf10 x\\cf  \\cf10 y\\cf ");
  // A colourer that does not nest leaves the inner end as a stray "*/": the
  // first such is taken away with the comment it closes.
  EXPECT_EQ(RemoveBlockComments("k \\cf8 /* a /* b */\\cf  c \\cf5 *\\cf \\cf5 /\\cf  d \\cf8 /* e */\\cf f"),
            "k   d  f");
  // Our colourer nests: one run, one removal.
  const std::string nested = vx::SyntaxColourer().ColourSQL("x /* a /* b */ c */ y", 1);
  EXPECT_EQ(RemoveBlockComments(nested), "\\cf10 x\\cf    \\cf10 y\\cf ");
  // A comment that never closes keeps its text.
  EXPECT_EQ(RemoveBlockComments("a \\cf8 /* b\\cf "), "a \\cf8 /* b\\cf ");
  EXPECT_EQ(RemoveBlockComments(""), "");
}

TEST(ParseHelpersTest, DeletingTheCodesGivesTheMaskedTextBack) {
  // The rewrite's own way of reading coloured text: split at "\cf1 ",
  // StripRtfCodes, UnmaskRtfCodes, brackets back.
  const std::vector<std::string> texts = {
      "CREATE PROCEDURE [dbo].[p q] @a int = -1, @b nvarchar(10) = N'x''y' -- c\r\n"
      "WITH RECOMPILE AS /* x /* y */ z */ SELECT * FROM [t]]u] WHERE a*/b\r\n",
      "SELECT '\\cf1 \\cf \\cf\\par \\par \\cf10 \\cf8 /*' AS \"\\cf\", '\\cf\nx' -- \\cf\n\\par\r\n",
      "-- \xC2\xAB\xC2\xAC\xC2\xBB stay\n'\xC2\xAB' /* \xC2\xBB */ \\ \\\\ {x} \\{ \\cf\\cf ",
      "CREATE VIEW v AS SELECT 1 -- ends */",
      "\r\n\n \t ",
  };
  for (const std::string& text : texts) {
    std::string masked = ReplaceAll(ReplaceAll(text, "[", "__________leftsquarebracket"), "]",
                                    "__________rightsquarebracket");
    masked = MaskRtfCodes(masked);
    const std::string coloured = vx::SyntaxColourer().ColourSQL(masked, 1);
    std::string read = UnmaskRtfCodes(StripRtfCodes(ReplaceAll(coloured, "\\cf1 ", "")));
    read = ReplaceAll(ReplaceAll(read, "__________leftsquarebracket", "["), "__________rightsquarebracket", "]");
    EXPECT_EQ(read, text);
    // No comment marker pattern comes from anything but a comment.
    EXPECT_EQ(RemoveBlockComments(coloured).find("\xC2"), std::string::npos);
  }
}

// The rewrite's masks are words of its own: an object whose text holds the same
// words gets them back unchanged, and the server runs the archived body.
TEST(ParseHelpersTest, TextThatLooksLikeAMaskComesBackUnchanged) {
  const std::string body =
      "SELECT '__________objectname', '__________par', '__________cf1', '__________Chr171', "
      "'__________Chr187', '__________cf ', '__________us', '___________cf10', '____________________'\r\n";
  struct Row {
    std::string (*rewrite)(std::string_view, std::string_view);
    std::string create, alter;
  };
  const Row rows[] = {
      {GenerateStoredProcedureEncryptionScript, "CREATE PROCEDURE p AS ",
       "ALTER PROCEDURE p WITH ENCRYPTION\r\nAS "},
      {GenerateTriggerEncryptionScript, "CREATE TRIGGER p ON t FOR INSERT AS ",
       "ALTER TRIGGER p ON t \r\nWITH ENCRYPTION\r\nFOR INSERT AS "},
      {GenerateViewEncryptionScript, "CREATE VIEW p AS ", "ALTER VIEW p \r\nWITH ENCRYPTION\r\nAS\r\n"},
      {GenerateUserDefinedFunctionEncryptionScript, "CREATE FUNCTION p() RETURNS TABLE AS ",
       " ALTER  FUNCTION p()  RETURNS  TABLE  WITH ENCRYPTION\r\nAS "},
  };
  for (const Row& row : rows) EXPECT_EQ(row.rewrite(row.create + body, "p"), row.alter + body) << row.create;
}
