// Stored procedure texts, written the ways real databases hold them, and the
// whole script that the rewrite makes of each.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"
#include "vexilon_lib/basParse.h"

using basParse::GenerateStoredProcedureEncryptionScript;

namespace {

template <std::size_t N>
std::string WithNul(const char (&text)[N]) {
  return std::string(text, N - 1);
}

struct Row {
  const char* name;
  std::string objectName;
  std::string text;
  std::string expected;
};

const std::vector<Row>& Rows() {
  static const std::vector<Row> rows = {
      {"one line", "p", "CREATE PROCEDURE dbo.p AS SELECT 1",
       "ALTER PROCEDURE dbo.p WITH ENCRYPTION\r\nAS SELECT 1"},
      {"WITH RECOMPILE gets the option in front of its own WITH", "p",
       "CREATE PROCEDURE dbo.p @a int, @b varchar(10) OUTPUT\r\n"
       "WITH RECOMPILE\r\n"
       "AS\r\n"
       "SELECT @b = CAST(@a AS varchar(10))\r\n",
       "ALTER PROCEDURE dbo.p @a int, @b varchar(10) OUTPUT\r\n"
       "WITH ENCRYPTION,   RECOMPILE\r\n"
       "AS\r\n"
       "SELECT @b = CAST(@a AS varchar(10))\r\n"},
      {"FOR REPLICATION: the option goes before it, where the server takes options", "p",
       "CREATE PROC p @a int\r\nFOR REPLICATION\r\nAS\r\nINSERT INTO dbo.t (a) VALUES (@a)\r\n",
       "ALTER PROC p @a int\r\nWITH ENCRYPTION\r\nFOR REPLICATION\r\nAS\r\nINSERT INTO dbo.t (a) VALUES (@a)\r\n"},
      {"lower case; names beginning with create and proc are no statement", "usp_log",
       "create proc usp_log @msg varchar(200)\r\n"
       "as\r\n"
       "insert into dbo.Log (CreatedBy, ProcName, Msg) select suser_sname(), object_name(@@procid), @msg\r\n",
       "ALTER proc usp_log @msg varchar(200)\r\n"
       "WITH ENCRYPTION\r\n"
       "as\r\n"
       "insert into dbo.Log (CreatedBy, ProcName, Msg) select suser_sname(), object_name(@@procid), @msg\r\n"},
      {"header comments (kept), CREATE in comments and strings, bracketed name with spaces and keywords",
       "usp Get Orders As Of",
       "-- =============================================\r\n"
       "-- Author:  J. Smith\r\n"
       "-- Purpose: CREATE PROCEDURE wrapper; see /* notes */\r\n"
       "-- =============================================\r\n"
       "/* CREATE PROCEDURE old_version AS SELECT 0 */\r\n"
       "CREATE PROCEDURE [dbo].[usp Get Orders As Of]\r\n"
       "    @CustomerID nchar(5),\r\n"
       "    @AsOf DateTime = NULL,\r\n"
       "    @Note NVARCHAR(100) = N'CREATE PROC x AS' -- default text\r\n"
       "AS\r\n"
       "BEGIN\r\n"
       "    SET NOCOUNT ON\r\n"
       "    /* outer /* inner */ still comment */\r\n"
       "    SELECT o.OrderID, o.CreatedBy, o.ProcName AS [With], CAST(o.Total AS BIGINT) AS Total\r\n"
       "    FROM dbo.Orders o WITH (NOLOCK)\r\n"
       "    WHERE o.CustomerID = @CustomerID\r\n"
       "      AND (@AsOf IS NULL OR o.OrderDate <= @AsOf)\r\n"
       "    EXEC ('CREATE PROCEDURE #tmp AS SELECT 1')\r\n"
       "    RETURN 0\r\n"
       "END\r\n",
       "-- =============================================\r\n"
       "-- Author:  J. Smith\r\n"
       "-- Purpose: CREATE PROCEDURE wrapper; see /* notes */\r\n"
       "-- =============================================\r\n"
       "/* CREATE PROCEDURE old_version AS SELECT 0 */\r\n"
       "ALTER PROCEDURE [dbo].[usp Get Orders As Of]\r\n"
       "    @CustomerID nchar(5),\r\n"
       "    @AsOf DateTime = NULL,\r\n"
       "    @Note NVARCHAR(100) = N'CREATE PROC x AS' -- default text\r\n"
       "WITH ENCRYPTION\r\n"
       "AS\r\n"
       "BEGIN\r\n"
       "    SET NOCOUNT ON\r\n"
       "    /* outer /* inner */ still comment */\r\n"
       "    SELECT o.OrderID, o.CreatedBy, o.ProcName AS [With], CAST(o.Total AS BIGINT) AS Total\r\n"
       "    FROM dbo.Orders o WITH (NOLOCK)\r\n"
       "    WHERE o.CustomerID = @CustomerID\r\n"
       "      AND (@AsOf IS NULL OR o.OrderDate <= @AsOf)\r\n"
       "    EXEC ('CREATE PROCEDURE #tmp AS SELECT 1')\r\n"
       "    RETURN 0\r\n"
       "END\r\n"},
      {"every CREATE PROCEDURE of the text", "p",
       "CREATE PROCEDURE p AS SELECT 1\r\nGO\r\nCREATE PROCEDURE q WITH RECOMPILE AS SELECT 2\r\n",
       "ALTER PROCEDURE p WITH ENCRYPTION\r\nAS SELECT 1\r\nGO\r\n"
       "ALTER PROCEDURE q WITH ENCRYPTION,   RECOMPILE AS SELECT 2\r\n"},
      {"a number runs into AS", "p",
       "CREATE PROC p @v int = -2147483648as insert RTblVersions (v) values (@v)\r\n",
       "ALTER PROC p @v int = -2147483648WITH ENCRYPTION\r\nas insert RTblVersions (v) values (@v)\r\n"},
      {"a text that ends in a name beginning with create", "p",
       "CREATE PROC p AS SELECT name FROM sysobjects ORDER BY CreateDate",
       "ALTER PROC p WITH ENCRYPTION\r\nAS SELECT name FROM sysobjects ORDER BY CreateDate"},
      {"brackets, codes and markers of the object's own text come back", "p",
       "CREATE PROC p AS SELECT '[x] \\par \\cf1 a \\cf b \\cf\\par \xC2\xAB\xC2\xAC\xC2\xBB' AS [c\\cf10 d], * "
       "FROM [t]]x]\r\n",
       "ALTER PROC p WITH ENCRYPTION\r\n"
       "AS SELECT '[x] \\par \\cf1 a \\cf b \\cf\\par \xC2\xAB\xC2\xAC\xC2\xBB' AS [c\\cf10 d], * FROM [t]]x]\r\n"},
      {"type words keep their case", "p",
       "CREATE PROC p @a BIGINT, @b NTEXT, @c IMAGE, @d Text, @e SYSNAME, @f UniqueIdentifier, "
       "@g SQL_VARIANT, @h NVarChar(10), @i DateTime, @j INT AS RETURN\r\n",
       "ALTER PROC p @a BIGINT, @b NTEXT, @c IMAGE, @d Text, @e SYSNAME, @f UniqueIdentifier, "
       "@g SQL_VARIANT, @h NVarChar(10), @i DateTime, @j INT WITH ENCRYPTION\r\nAS RETURN\r\n"},
      {"BEGIN without AS", "p", "CREATE PROC p BEGIN SELECT 1 END",
       "ALTER PROC p \r\nWITH ENCRYPTION\r\nBEGIN SELECT 1 END"},
      {"unterminated string", "p", "CREATE PROC p AS SELECT 'abc",
       "ALTER PROC p WITH ENCRYPTION\r\nAS SELECT 'abc"},
      {"unterminated comment keeps its text", "p", "CREATE PROC p AS SELECT 1 /* abc\r\n*",
       "ALTER PROC p WITH ENCRYPTION\r\nAS SELECT 1 /* abc\r\n*"},
      {"NUL characters stay", "p", WithNul("CREATE PROC p AS SELECT '\0'"),
       WithNul("ALTER PROC p WITH ENCRYPTION\r\nAS SELECT '\0'")},
      {"no CREATE", "p", "SELECT 1 AS one", "SELECT 1 AS one"},
      {"empty", "p", "", ""},
  };
  return rows;
}

int32_t ErrorNumberOf(const std::string& text) {
  try {
    GenerateStoredProcedureEncryptionScript(text, "p");
  } catch (const vx::ComError& e) {
    return e.Number();
  }
  return 0;
}

}  // namespace

TEST(ParseProcedureTest, WholeScripts) {
  for (const Row& row : Rows()) {
    EXPECT_EQ(GenerateStoredProcedureEncryptionScript(row.text, row.objectName), row.expected) << row.name;
  }
}

TEST(ParseProcedureTest, CreateAsTheLastTokenIsSubscriptOutOfRange) {
  EXPECT_EQ(ErrorNumberOf("CREATE"), vx::err::kSubscriptOutOfRange);
  EXPECT_EQ(ErrorNumberOf("CREATE PROC p AS SELECT 1\r\nGO\r\n-- next\r\ncreate"), vx::err::kSubscriptOutOfRange);
  try {
    GenerateStoredProcedureEncryptionScript("CREATE", "p");
  } catch (const vx::ComError& e) {
    EXPECT_EQ(e.Description(), "Subscript out of range");
  }
}

TEST(ParseProcedureTest, InvalidUtf8IsAClearError) {
  EXPECT_EQ(ErrorNumberOf("CREATE PROC p AS SELECT '\xC3('"), vx::err::kInvalidProcedureCall);
  EXPECT_EQ(ErrorNumberOf("CREATE PROC p AS SELECT '\xED\xA0\x80'"), vx::err::kInvalidProcedureCall);
}

TEST(ParseProcedureTest, LongBodyRewrittenOnceAndOtherwiseUnchanged) {
  std::string body;
  std::string expectedBody;
  for (int i = 0; i < 20000; ++i) {
    const std::string n = std::to_string(i);
    const std::string line = "    UPDATE dbo.t SET CreatedBy = ProcName, v = v + " + n +
                             " WHERE id = @id -- note " + n + "\r\n";
    body += line;
    expectedBody += line;
  }
  const std::string text = "CREATE PROCEDURE dbo.big @id int AS\r\nBEGIN\r\n" + body + "END\r\n";
  const std::string expected =
      "ALTER PROCEDURE dbo.big @id int WITH ENCRYPTION\r\nAS\r\nBEGIN\r\n" + expectedBody + "END\r\n";
  EXPECT_EQ(GenerateStoredProcedureEncryptionScript(text, "big"), expected);
}
