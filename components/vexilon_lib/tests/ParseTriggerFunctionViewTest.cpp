// Trigger, function and view texts, written the ways real databases hold them,
// and the whole script that the rewrite of their kind makes of each.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "automation/ComError.h"
#include "vexilon_lib/basParse.h"

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

}  // namespace

TEST(ParseTriggerFunctionViewTest, Triggers) {
  const std::vector<Row> rows = {
      {"one statement", "t", "CREATE TRIGGER t ON dbo.x FOR INSERT AS\r\nUPDATE dbo.y SET n = n + 1\r\n",
       "ALTER TRIGGER t ON dbo.x \r\nWITH ENCRYPTION\r\nFOR INSERT AS\r\nUPDATE dbo.y SET n = n + 1\r\n"},
      {"INSTEAD OF, bracketed names with spaces and keywords, comments before CREATE",
       "trg Order Details On Insert",
       "-- Keeps the stock of [Order Details] in step; runs ON every insert\r\n"
       "/* CREATE TRIGGER old ON x FOR INSERT AS */\r\n"
       "CREATE TRIGGER [dbo].[trg Order Details On Insert]\r\n"
       "ON [dbo].[Order Details]\r\n"
       "INSTEAD OF INSERT\r\n"
       "AS\r\n"
       "BEGIN\r\n"
       "    SET NOCOUNT ON\r\n"
       "    INSERT INTO [dbo].[Order Details] (OrderID, ProductID, Quantity)\r\n"
       "    SELECT i.OrderID, i.ProductID, i.Quantity FROM inserted i\r\n"
       "    WHERE i.Quantity > 0 -- no empty lines\r\n"
       "END\r\n",
       "-- Keeps the stock of [Order Details] in step; runs ON every insert\r\n"
       " \r\n"
       "ALTER TRIGGER [dbo].[trg Order Details On Insert]\r\n"
       "ON [dbo].[Order Details]\r\n"
       "\r\n"
       "WITH ENCRYPTION\r\n"
       "INSTEAD OF INSERT\r\n"
       "AS\r\n"
       "BEGIN\r\n"
       "    SET NOCOUNT ON\r\n"
       "    INSERT INTO [dbo].[Order Details] (OrderID, ProductID, Quantity)\r\n"
       "    SELECT i.OrderID, i.ProductID, i.Quantity FROM inserted i\r\n"
       "    WHERE i.Quantity > 0 -- no empty lines\r\n"
       "END\r\n"},
      {"lower case, AFTER", "trg_audit",
       "create trigger trg_audit on dbo.Customers after update, delete as\r\n"
       "if @@rowcount = 0 return\r\n"
       "insert dbo.Audit (Who, What) select suser_sname(), 'changed'\r\n",
       "ALTER trigger trg_audit on dbo.Customers \r\n"
       "WITH ENCRYPTION\r\n"
       "after update, delete as\r\n"
       "if @@rowcount = 0 return\r\n"
       "insert dbo.Audit (Who, What) select suser_sname(), 'changed'\r\n"},
      {"a block comment in the ON clause", "t", "CREATE TRIGGER t ON [dbo].[x] /* on */ FOR INSERT AS SELECT 1",
       "ALTER TRIGGER t ON [dbo].[x]   \r\nWITH ENCRYPTION\r\nFOR INSERT AS SELECT 1"},
      {"no CREATE", "t", "SELECT 1", "SELECT 1"},
      {"empty", "t", "", ""},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(basParse::GenerateTriggerEncryptionScript(row.text, row.objectName), row.expected) << row.name;
  }
}

TEST(ParseTriggerFunctionViewTest, Functions) {
  const std::vector<Row> rows = {
      {"scalar, BEGIN right after RETURNS", "fn_Add",
       "CREATE FUNCTION dbo.fn_Add (@a int, @b int)\r\nRETURNS int\r\nBEGIN\r\n    RETURN @a + @b\r\nEND\r\n",
       " ALTER  FUNCTION dbo.fn_Add (@a int, @b int)\r\n RETURNS int\r\n \r\nWITH ENCRYPTION\r\n"
       "BEGIN\r\n    RETURN @a + @b\r\nEND\r\n"},
      {"scalar, AS BEGIN", "fn_Add",
       "CREATE FUNCTION dbo.fn_Add (@a int, @b int)\r\nRETURNS int\r\nAS\r\nBEGIN\r\n    RETURN @a + @b\r\nEND\r\n",
       " ALTER  FUNCTION dbo.fn_Add (@a int, @b int)\r\n RETURNS int\r\n WITH ENCRYPTION\r\nAS\r\n"
       "BEGIN\r\n    RETURN @a + @b\r\nEND\r\n"},
      {"inline, RETURNS TABLE AS RETURN", "fn_Orders",
       "CREATE FUNCTION dbo.fn_Orders (@CustomerID nchar(5))\r\nRETURNS TABLE\r\nAS\r\n"
       "RETURN (SELECT OrderID, OrderDate FROM dbo.Orders WHERE CustomerID = @CustomerID)\r\n",
       " ALTER  FUNCTION dbo.fn_Orders (@CustomerID nchar(5))\r\n RETURNS  TABLE\r\n WITH ENCRYPTION\r\nAS\r\n"
       "RETURN (SELECT OrderID, OrderDate FROM dbo.Orders WHERE CustomerID = @CustomerID)\r\n"},
      {"multi-statement, comment before CREATE, bracketed name", "fn_Split",
       "/* splits a list */\r\n"
       "CREATE FUNCTION [dbo].[fn_Split] (@List NVARCHAR(4000), @Sep NCHAR(1) = N',')\r\n"
       "RETURNS @Items TABLE (Pos int IDENTITY(1,1) PRIMARY KEY, Item nvarchar(4000) NOT NULL)\r\n"
       "AS\r\n"
       "BEGIN\r\n"
       "    DECLARE @i int\r\n"
       "    SET @i = CHARINDEX(@Sep, @List)\r\n"
       "    WHILE @i > 0\r\n"
       "    BEGIN\r\n"
       "        INSERT @Items (Item) VALUES (LEFT(@List, @i - 1))\r\n"
       "        SET @List = SUBSTRING(@List, @i + 1, 4000)\r\n"
       "        SET @i = CHARINDEX(@Sep, @List)\r\n"
       "    END\r\n"
       "    INSERT @Items (Item) VALUES (@List)\r\n"
       "    RETURN\r\n"
       "END\r\n",
       " \r\n"
       " ALTER  FUNCTION [dbo].[fn_Split] (@List nvarchar(4000), @Sep NCHAR(1) = N',')\r\n"
       " RETURNS @Items  TABLE (Pos int  IDENTITY(1,1)  PRIMARY  KEY, Item nvarchar(4000)  NOT  NULL)\r\n"
       " WITH ENCRYPTION\r\n"
       "AS\r\n"
       "BEGIN\r\n"
       "    DECLARE @i int\r\n"
       "    SET @i = CHARINDEX(@Sep, @List)\r\n"
       "    WHILE @i > 0\r\n"
       "    BEGIN\r\n"
       "        INSERT @Items (Item) VALUES (LEFT(@List, @i - 1))\r\n"
       "        SET @List = SUBSTRING(@List, @i + 1, 4000)\r\n"
       "        SET @i = CHARINDEX(@Sep, @List)\r\n"
       "    END\r\n"
       "    INSERT @Items (Item) VALUES (@List)\r\n"
       "    RETURN\r\n"
       "END\r\n"},
      {"WITH SCHEMABINDING", "fn_Total",
       "CREATE FUNCTION dbo.fn_Total (@OrderID int)\r\nRETURNS money\r\nWITH SCHEMABINDING\r\nAS\r\nBEGIN\r\n"
       "    RETURN (SELECT SUM(UnitPrice * Quantity) FROM dbo.[Order Details] WHERE OrderID = @OrderID)\r\n"
       "END\r\n",
       " ALTER  FUNCTION dbo.fn_Total (@OrderID int)\r\n RETURNS money\r\n WITH ENCRYPTION,   SCHEMABINDING\r\n"
       "AS\r\nBEGIN\r\n"
       "    RETURN (SELECT SUM(UnitPrice * Quantity) FROM dbo.[Order Details] WHERE OrderID = @OrderID)\r\n"
       "END\r\n"},
      {"inline without AS, lower case", "fn_Active",
       "create function fn_Active()\r\nreturns table\r\nreturn select * from dbo.Customers where Active = 1\r\n",
       " ALTER  function fn_Active()\r\n returns  table\r\n \r\nWITH ENCRYPTION\r\n"
       "return select * from dbo.Customers where Active = 1\r\n"},
      {"empty", "f", "", ""},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(basParse::GenerateUserDefinedFunctionEncryptionScript(row.text, row.objectName), row.expected)
        << row.name;
  }
}

TEST(ParseTriggerFunctionViewTest, Views) {
  const std::vector<Row> rows = {
      {"the AS line is written anew; its line comment goes", "vOrders",
       "CREATE VIEW dbo.vOrders\r\n"
       "AS -- open orders only\r\n"
       "SELECT o.OrderID, o.OrderDate, c.[Company Name] AS [From]\r\n"
       "FROM dbo.Orders o JOIN dbo.Customers c ON c.CustomerID = o.CustomerID\r\n"
       "WHERE o.ShippedDate IS NULL\r\n",
       "ALTER VIEW dbo.vOrders\r\n"
       "\r\n"
       "WITH ENCRYPTION\r\n"
       "AS\r\n"
       "SELECT o.OrderID, o.OrderDate, c.[Company Name] AS [From]\r\n"
       "FROM dbo.Orders o JOIN dbo.Customers c ON c.CustomerID = o.CustomerID\r\n"
       "WHERE o.ShippedDate IS NULL\r\n"},
      {"WITH SCHEMABINDING; only sysname is written in lower case", "vTotals",
       "CREATE VIEW [dbo].[vTotals] WITH SCHEMABINDING\r\n"
       "AS\r\n"
       "SELECT OrderID, COUNT_BIG(*) AS Lines, CAST(SUM(Quantity) AS BIGINT) AS Qty, "
       "CAST(N'' AS SYSNAME) AS Who\r\n"
       "FROM dbo.[Order Details]\r\n"
       "GROUP BY OrderID\r\n",
       "ALTER VIEW [dbo].[vTotals] WITH ENCRYPTION,   SCHEMABINDING\r\n"
       "AS\r\n"
       "SELECT OrderID, COUNT_BIG(*) AS Lines, CAST(SUM(Quantity) AS BIGINT) AS Qty, "
       "CAST(N'' AS sysname) AS Who\r\n"
       "FROM dbo.[Order Details]\r\n"
       "GROUP BY OrderID\r\n"},
      {"lower case with a column list, CREATE VIEW in a comment", "vNames",
       "/* CREATE VIEW v AS */\r\n"
       "create view vNames (Name, Kind)\r\n"
       "as\r\n"
       "select name, type from sysobjects where type = 'U'\r\n",
       " \r\n"
       "ALTER view vNames (Name, Kind)\r\n"
       "\r\n"
       "WITH ENCRYPTION\r\n"
       "AS\r\n"
       "select name, type from sysobjects where type = 'U'\r\n"},
      {"WITH VIEW_METADATA and a CHECK OPTION after the body", "v",
       "CREATE VIEW dbo.v\r\nWITH VIEW_METADATA\r\nAS\r\nSELECT a FROM dbo.t\r\nWITH CHECK OPTION\r\n",
       "ALTER VIEW dbo.v\r\nWITH ENCRYPTION,   VIEW_METADATA\r\nAS\r\nSELECT a FROM dbo.t\r\nWITH CHECK OPTION\r\n"},
      {"code after AS on its line stays", "v", "CREATE VIEW dbo.v AS (SELECT a FROM dbo.t)",
       "ALTER VIEW dbo.v \r\nWITH ENCRYPTION\r\nAS (SELECT a FROM dbo.t)"},
      {"no CREATE", "v", "SELECT 1", "SELECT 1"},
      {"empty", "v", "", ""},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(basParse::GenerateViewEncryptionScript(row.text, row.objectName), row.expected) << row.name;
  }
}

TEST(ParseTriggerFunctionViewTest, BadInputGivesAResultOrAClearError) {
  // Unterminated strings and comments, NUL, a lone CREATE: results, no error.
  EXPECT_EQ(basParse::GenerateTriggerEncryptionScript("CREATE", "t"), "ALTER");
  EXPECT_EQ(basParse::GenerateViewEncryptionScript("CREATE VIEW v AS SELECT 'a", "v"),
            "ALTER VIEW v \r\nWITH ENCRYPTION\r\nAS\r\nSELECT 'a");
  EXPECT_EQ(basParse::GenerateUserDefinedFunctionEncryptionScript("CREATE FUNCTION f() RETURNS int /* x", "f"),
            " ALTER  FUNCTION f()  RETURNS int /* x ");
  EXPECT_EQ(basParse::GenerateTriggerEncryptionScript(WithNul("CREATE TRIGGER t ON x\0 FOR INSERT AS"), "t"),
            WithNul("ALTER TRIGGER t ON x\0 \r\nWITH ENCRYPTION\r\nFOR INSERT AS"));
  for (auto rewrite : {basParse::GenerateTriggerEncryptionScript, basParse::GenerateUserDefinedFunctionEncryptionScript,
                       basParse::GenerateViewEncryptionScript}) {
    EXPECT_THROW(rewrite("CREATE VIEW v AS SELECT '\xFF'", "v"), vx::ComError);
  }
}
