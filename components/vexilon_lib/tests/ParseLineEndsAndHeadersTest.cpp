// Line ends of every kind in each rewriter, and the procedure header's end at
// AS whatever follows it.
#include <gtest/gtest.h>

#include <string>

#include "syntax_colourer/SyntaxColourer.h"
#include "vexilon_lib/basParse.h"

using namespace basParse;

TEST(ParseLineEndsAndHeadersTest, CrLfAndCrLfEachEndALineComment) {
  for (const std::string le : {"\r", "\n", "\r\n"}) {
    EXPECT_EQ(GenerateStoredProcedureEncryptionScript("CREATE PROC p -- n" + le + "AS SELECT 1", "p"),
              "ALTER PROC p -- n" + le + "WITH ENCRYPTION\r\nAS SELECT 1")
        << int(le[0]);
    EXPECT_EQ(GenerateViewEncryptionScript("CREATE VIEW v AS -- n" + le + "(SELECT 1 AS x)", "v"),
              "ALTER VIEW v \r\nWITH ENCRYPTION\r\nAS -- n" + le + "(SELECT 1 AS x)")
        << int(le[0]);
    EXPECT_EQ(GenerateUserDefinedFunctionEncryptionScript(
                  "CREATE FUNCTION f() -- n" + le + "RETURNS int AS BEGIN RETURN 1 END", "f"),
              " ALTER  FUNCTION f() -- n" + le + " RETURNS int  WITH ENCRYPTION\r\nAS BEGIN RETURN 1 END")
        << int(le[0]);
    EXPECT_EQ(GenerateTriggerEncryptionScript("CREATE TRIGGER t ON x -- n" + le + "FOR INSERT AS SELECT 1", "t"),
              "ALTER TRIGGER t ON x -- n" + le + "\r\nWITH ENCRYPTION\r\nFOR INSERT AS SELECT 1")
        << int(le[0]);
    // The colourer ends the comment there too, and marks the paragraph.
    const std::string coloured = vx::SyntaxColourer().ColourSQL("-- n" + le + "SELECT", 1);
    EXPECT_EQ(coloured, "\\cf8 -- n\\cf " + le + "\\par \\cf1 SELECT\\cf ") << int(le[0]);
  }
}

TEST(ParseLineEndsAndHeadersTest, TheProcedureHeaderEndsAtAsWhateverFollowsAndKeepsEveryByte) {
  struct Row {
    const char* text;
    const char* expected;
  };
  for (const Row& row : {
           Row{"Create Proc p /* note */ AS (SELECT 1)", "ALTER Proc p /* note */ WITH ENCRYPTION\r\nAS (SELECT 1)"},
           Row{"Create Proc p AS; SELECT 1", "ALTER Proc p WITH ENCRYPTION\r\nAS; SELECT 1"},
           Row{"Create Proc p AS;/* c */ SELECT 1", "ALTER Proc p WITH ENCRYPTION\r\nAS;/* c */ SELECT 1"},
           Row{"Create Proc p AS(SELECT 1)", "ALTER Proc p WITH ENCRYPTION\r\nAS(SELECT 1)"},
           Row{"Create Proc p/**/AS/* a /* b */ */SELECT 1 */",
               "ALTER Proc p/**/WITH ENCRYPTION\r\nAS/* a /* b */ */SELECT 1 */"},
           Row{"CREATE PROC p @a Int AS -- x\r\nSELECT CAST(@a AS BigInt) /* y */ -- z",
               "ALTER PROC p @a Int WITH ENCRYPTION\r\nAS -- x\r\nSELECT CAST(@a AS BigInt) /* y */ -- z"},
       }) {
    EXPECT_EQ(GenerateStoredProcedureEncryptionScript(row.text, "p"), row.expected) << row.text;
  }
}
