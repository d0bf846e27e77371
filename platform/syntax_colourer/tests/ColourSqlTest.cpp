#include "syntax_colourer/SyntaxColourer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"

namespace {

std::string Colour(const std::string& text) { return vx::SyntaxColourer().ColourSQL(text, 1); }

// Reads coloured text back by its structure: runs "\cf<n> " ... "\cf ", and
// "\par " after every line end (CR, LF or CR LF). Fails the test on anything else the colourer
// might have added. (Inputs here hold no backslash, so "\cf" is always a code.)
std::string Decode(const std::string& coloured) {
  std::string out;
  bool inRun = false;
  std::size_t i = 0;
  auto starts = [&](const char* s) { return coloured.compare(i, std::char_traits<char>::length(s), s) == 0; };
  while (i < coloured.size()) {
    if (coloured[i] == '\\') {
      if (!inRun && starts("\\cf")) {
        std::size_t j = i + 3;
        int colourClass = 0;
        while (j < coloured.size() && std::isdigit(static_cast<unsigned char>(coloured[j]))) {
          colourClass = colourClass * 10 + (coloured[j] - '0');
          ++j;
        }
        EXPECT_TRUE((colourClass >= 1 && colourClass <= 8) || colourClass == 10) << colourClass;
        EXPECT_EQ(coloured[j], ' ');
        i = j + 1;
        inRun = true;
        continue;
      }
      if (inRun && starts("\\cf ")) {
        i += 4;
        inRun = false;
        continue;
      }
      ADD_FAILURE() << "unexpected code at " << i << ": " << coloured.substr(i, 20);
      return out;
    }
    out += coloured[i];
    const bool loneCr = coloured[i] == '\r' && coloured.compare(i + 1, 1, "\n") != 0;
    if (coloured[i] == '\n' || loneCr) {
      EXPECT_EQ(coloured.compare(i + 1, 5, "\\par "), 0) << "no paragraph code at " << i;
      i += 5;
    }
    ++i;
  }
  EXPECT_FALSE(inRun) << "a run is left open";
  return out;
}

struct Case {
  const char* name;
  std::string input;
  std::string expected;
};

}  // namespace

TEST(ColourSqlTest, RunsForEachKindOfWord) {
  const std::vector<Case> cases = {
      {"keywords any case, names, operators",
       "create PROC dbo.p AS",
       "\\cf1 create\\cf  \\cf1 PROC\\cf  \\cf10 dbo\\cf \\cf5 .\\cf \\cf10 p\\cf  \\cf1 AS\\cf "},
      {"types of every class",
       "int datetime image sysname TEXT bigint ntext nvarchar sql_variant uniqueidentifier",
       "\\cf2 int\\cf  \\cf3 datetime\\cf  \\cf1 image\\cf  \\cf1 sysname\\cf  \\cf1 TEXT\\cf  "
       "\\cf10 bigint\\cf  \\cf10 ntext\\cf  \\cf10 nvarchar\\cf  \\cf10 sql_variant\\cf  "
       "\\cf10 uniqueidentifier\\cf "},
      {"schemabinding is a name", "WITH SCHEMABINDING",
       "\\cf1 WITH\\cf  \\cf10 SCHEMABINDING\\cf "},
      {"variables, system functions and temp tables are one word each", "@a=@@ROWCOUNT+#t.x$1",
       "\\cf7 @a\\cf \\cf5 =\\cf \\cf7 @@ROWCOUNT\\cf \\cf5 +\\cf \\cf10 #t\\cf \\cf5 .\\cf \\cf10 x$1\\cf "},
      {"a number is cut from the letters after it", "-2147483648as 1.5e3x 0xFFg .5",
       "\\cf5 -\\cf \\cf6 2147483648\\cf \\cf1 as\\cf  \\cf6 1.5e3\\cf \\cf10 x\\cf  \\cf6 0xFF\\cf "
       "\\cf10 g\\cf  \\cf6 .5\\cf "},
      {"strings hold comments and keywords", "'a--b/*c*/ AS ''x''' N'y' n'z'",
       "\\cf4 'a--b/*c*/ AS ''x'''\\cf  \\cf4 N'y'\\cf  \\cf4 n'z'\\cf "},
      {"quoted and bracketed identifiers are single runs", "\"a \"\" b\" [c ]] d]",
       "\\cf10 \"a \"\" b\"\\cf  \\cf10 [c ]] d]\\cf "},
      {"masked brackets are single runs",
       "__________leftsquarebracketmy proc__________rightsquarebracket"
       "__________rightsquarebracket x__________rightsquarebracket.y",
       "\\cf10 __________leftsquarebracketmy proc__________rightsquarebracket"
       "__________rightsquarebracket x__________rightsquarebracket\\cf \\cf5 .\\cf \\cf10 y\\cf "},
      {"a block comment nests and closes in */\\cf", "a/* x /* y */ z */b",
       "\\cf10 a\\cf \\cf8 /* x /* y */ z */\\cf \\cf10 b\\cf "},
      {"a stray end of comment is two operator runs", "a*/b",
       "\\cf10 a\\cf \\cf5 *\\cf \\cf5 /\\cf \\cf10 b\\cf "},
      {"star before a comment", "t.*/*c*/",
       "\\cf10 t\\cf \\cf5 .\\cf \\cf5 *\\cf \\cf8 /*c*/\\cf "},
      {"line comment to the line end, CR LF outside", "-- a /* b\r\nx",
       "\\cf8 -- a /* b\\cf \r\n\\par \\cf10 x\\cf "},
      {"a line comment ending in */ does not close like a block comment", "-- done */",
       "\\cf8 -- done *\\cf \\cf8 /\\cf "},
      {"line feeds inside runs get paragraph codes", "/* a\nb */'c\r\nd'",
       "\\cf8 /* a\n\\par b */\\cf \\cf4 'c\r\n\\par d'\\cf "},
      {"unterminated string and comment run to the end", "'abc */", "\\cf4 'abc *\\cf \\cf4 /\\cf "},
      {"unterminated nested comment", "/* a /* b */", "\\cf8 /* a /* b *\\cf \\cf8 /\\cf "},
      {"RTF escape pairs stay together", "\\\\\\{a\\}", "\\cf5 \\\\\\cf \\cf5 \\{\\cf \\cf10 a\\cf \\cf5 \\}\\cf "},
      {"empty", "", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Colour(c.input), c.expected) << c.name;
}

TEST(ColourSqlTest, CfBeforeALineFeedInsideARunIsSplit) {
  // "\cf" + LF + "\par" would read as a closing code; the run is cut between
  // the backslash and "cf".
  EXPECT_EQ(Colour("'a\\cf\nb'"), "\\cf4 'a\\\\cf \\cf4 cf\n\\par b'\\cf ");
}

TEST(ColourSqlTest, DeletingTheCodesGivesTheInputBack) {
  const std::vector<std::string> texts = {
      "CREATE PROCEDURE dbo.usp_GetOrders\r\n"
      "    @CustomerID nchar(5),\r\n"
      "    @From datetime = NULL -- optional\r\n"
      "WITH RECOMPILE\r\n"
      "AS\r\n"
      "/* Returns the orders\r\n   /* of one customer */\r\n*/\r\n"
      "SET NOCOUNT ON\r\n"
      "SELECT o.OrderID, o.OrderDate, 'It''s' AS Note, N'\xC3\xA9t\xC3\xA9'\r\n"
      "FROM dbo.Orders o WITH (NOLOCK)\r\n"
      "WHERE o.CustomerID = @CustomerID AND o.Freight > 1.5e2 AND o.Flags & 0x0F <> 0\r\n"
      "RETURN @@ERROR\r\n",
      "create trigger trg_x on [dbo].[x] instead of insert as\n"
      "if (select count(*) from inserted) > 1 begin raiserror('no', 16, 1) rollback end\n",
      "CREATE FUNCTION dbo.f(@a int)\tRETURNS @t TABLE (id int PRIMARY KEY)\fAS\vBEGIN\r"
      "INSERT @t VALUES(-2147483648)RETURN END",
      std::string("SELECT 1\0 --x\x01\x7F", 15),
      "bad utf-8: \xC3( \xFF \xE2\x82 end",
      "x = \"q\"\"q\" /* open",
      "\n\n\r\r \t",
  };
  for (const std::string& text : texts) EXPECT_EQ(Decode(Colour(text)), text);
}

TEST(ColourSqlTest, UnknownModeIsAnInvalidArgument) {
  try {
    vx::SyntaxColourer().ColourSQL("SELECT 1", 2);
    FAIL() << "no error";
  } catch (const vx::ComError& e) {
    EXPECT_EQ(e.Number(), vx::err::kInvalidProcedureCall);
  }
}

TEST(ColourSqlTest, TenMegabytesInOnePass) {
  std::string block =
      "SELECT a.Name, b.[Order Id], 'x''y' FROM dbo.A a JOIN B b ON a.id = b.id -- join\r\n"
      "/* note */ WHERE a.v > 10 AND @p IS NULL\r\n";
  std::string text;
  while (text.size() < 10u * 1024 * 1024) text += block;
  const std::string coloured = Colour(text);
  EXPECT_GT(coloured.size(), text.size() * 2);
  EXPECT_EQ(Decode(coloured).size(), text.size());
}

TEST(ColourSqlTest, ALongLineInOnePass) {
  // Each run must look for line feeds within itself only: a text without any
  // would otherwise be scanned to its end once per run.
  std::string text;
  for (int i = 0; i < 2 * 1024 * 1024; ++i) text += "x ";
  EXPECT_EQ(Colour(text).size(), text.size() / 2 * std::string("\\cf10 x\\cf  ").size());
}
