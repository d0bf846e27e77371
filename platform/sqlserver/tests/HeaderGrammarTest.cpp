// CREATE / ALTER headers as SQL Server 2000 accepts and rejects them, for the four
// kinds, and what a rejected batch leaves behind (nothing).
#include <gtest/gtest.h>

#include "support/SimFixture.h"

namespace {

struct Case {
  const char* name;
  const char* batch;  // "%N" stands for a fresh object name
  int error;          // 0 = accepted
};

const Case kCases[] = {
    // procedures
    {"proc plain", "CREATE PROCEDURE %N AS select 1", 0},
    {"proc params", "CREATE PROC %N @a int, @b varchar(10) = 'x' OUTPUT, @c cursor varying output AS select 1", 0},
    {"proc parenthesised params", "CREATE PROCEDURE %N (@a int) WITH ENCRYPTION AS select 1", 0},
    {"proc all options", "CREATE PROCEDURE %N WITH RECOMPILE, ENCRYPTION FOR REPLICATION AS select 1", 0},
    {"proc group number", "CREATE PROCEDURE %N;2 AS select 1", 0},
    {"proc comments first", "/* a /* nested */ one */ -- line\r\nCREATE PROCEDURE %N AS select 1", 0},
    {"proc bracketed owner", "CREATE PROCEDURE [dbo].[%N] AS BEGIN select 1 END", 0},
    {"proc second WITH", "CREATE PROCEDURE %N WITH ENCRYPTION WITH RECOMPILE AS select 1", 156},
    {"proc WITH after FOR REPLICATION", "CREATE PROCEDURE %N FOR REPLICATION WITH ENCRYPTION AS select 1", 156},
    {"proc WITH after AS", "CREATE PROCEDURE %N AS WITH ENCRYPTION select 1", 156},
    {"proc WITH before params", "CREATE PROCEDURE %N WITH ENCRYPTION @a int AS select 1", 170},
    {"proc missing AS", "CREATE PROCEDURE %N @a int select 1", 156},
    {"proc unknown option", "CREATE PROCEDURE %N WITH SCHEMABINDING AS select 1", 195},
    {"proc not first", "select 1\r\nCREATE PROCEDURE %N AS select 1", 111},
    {"proc with database prefix", "CREATE PROCEDURE Sales.dbo.%N AS select 1", 166},
    {"proc unknown owner", "CREATE PROCEDURE nobody.%N AS select 1", 2760},
    {"unterminated string", "CREATE PROCEDURE %N AS select 'open", 105},
    {"unterminated comment", "/* open CREATE PROCEDURE %N AS select 1", 113},
    // triggers
    {"trigger plain", "CREATE TRIGGER %N ON Orders FOR INSERT, UPDATE AS select 1", 0},
    {"trigger encrypted after", "CREATE TRIGGER %N ON dbo.Orders WITH ENCRYPTION AFTER DELETE AS select 1", 0},
    {"trigger instead of", "CREATE TRIGGER %N ON Orders INSTEAD OF INSERT AS select 1", 0},
    {"trigger append", "CREATE TRIGGER %N ON Orders FOR INSERT WITH APPEND NOT FOR REPLICATION AS select 1", 0},
    {"trigger if update", "CREATE TRIGGER %N ON Orders FOR UPDATE AS IF UPDATE(id) select 1", 0},
    {"trigger WITH after actions", "CREATE TRIGGER %N ON Orders FOR INSERT WITH ENCRYPTION AS select 1", 170},
    {"trigger WITH before ON", "CREATE TRIGGER %N WITH ENCRYPTION ON Orders FOR INSERT AS select 1", 156},
    {"trigger no actions", "CREATE TRIGGER %N ON Orders FOR AS select 1", 156},
    {"trigger missing table", "CREATE TRIGGER %N ON NoTable FOR INSERT AS select 1", 208},
    // functions
    {"scalar function", "CREATE FUNCTION %N (@a int) RETURNS int WITH ENCRYPTION AS BEGIN RETURN @a END", 0},
    {"scalar function without AS", "CREATE FUNCTION %N () RETURNS int WITH SCHEMABINDING, ENCRYPTION BEGIN RETURN 1 END", 0},
    {"inline function", "CREATE FUNCTION %N () RETURNS TABLE WITH ENCRYPTION AS RETURN SELECT 1 AS x", 0},
    {"inline function parens", "CREATE FUNCTION dbo.%N (@a int) RETURNS TABLE AS RETURN (SELECT @a AS x)", 0},
    {"table function", "CREATE FUNCTION %N () RETURNS @t TABLE (x int) WITH ENCRYPTION AS BEGIN RETURN END", 0},
    {"function WITH before RETURNS", "CREATE FUNCTION %N () WITH ENCRYPTION RETURNS int AS BEGIN RETURN 1 END", 156},
    {"function WITH after AS", "CREATE FUNCTION %N () RETURNS int AS WITH ENCRYPTION BEGIN RETURN 1 END", 156},
    {"function second WITH", "CREATE FUNCTION %N () RETURNS int WITH ENCRYPTION WITH SCHEMABINDING AS BEGIN RETURN 1 END", 156},
    {"function recompile", "CREATE FUNCTION %N () RETURNS int WITH RECOMPILE AS BEGIN RETURN 1 END", 195},
    {"function without parentheses", "CREATE FUNCTION %N RETURNS int AS BEGIN RETURN 1 END", 170},
    {"inline function with BEGIN", "CREATE FUNCTION %N () RETURNS TABLE AS BEGIN RETURN SELECT 1 AS x END", 156},
    // views
    {"view plain", "CREATE VIEW %N AS SELECT 1 AS x", 0},
    {"view columns and options", "CREATE VIEW %N (a) WITH ENCRYPTION, SCHEMABINDING, VIEW_METADATA AS SELECT 1 AS a", 0},
    {"view check option", "CREATE VIEW %N AS SELECT id FROM dbo.Orders WITH CHECK OPTION;", 0},
    {"view hint", "CREATE VIEW %N AS SELECT id FROM Orders WITH (NOLOCK) WHERE id IN (SELECT 1)", 0},
    {"view second WITH", "CREATE VIEW %N WITH ENCRYPTION WITH SCHEMABINDING AS SELECT 1 AS x", 156},
    {"view WITH after AS", "CREATE VIEW %N AS WITH ENCRYPTION SELECT 1 AS x", 156},
    {"view recompile", "CREATE VIEW %N WITH RECOMPILE AS SELECT 1 AS x", 195},
};

class HeaderGrammar : public SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    Run("CREATE TABLE Orders (id int)\nGO\nCREATE PROCEDURE Existing AS select 1\nGO\nCREATE VIEW vExisting AS SELECT 1 AS x");
  }
};

std::string WithName(std::string text, const std::string& name) {
  for (size_t p; (p = text.find("%N")) != std::string::npos;) text.replace(p, 2, name);
  return text;
}

}  // namespace

TEST_F(HeaderGrammar, CreateAndAlterHeaders) {
  int n = 0;
  for (const Case& c : kCases) {
    std::string name = "obj" + std::to_string(++n);
    EXPECT_EQ(ErrorOf(WithName(c.batch, name)), c.error) << c.name;
    EXPECT_EQ(ObjectId(name) != 0, c.error == 0) << c.name << ": object left " << (c.error ? "behind" : "missing");
    if (c.error != 0 || std::string(c.batch).find(";2") != std::string::npos) continue;
    // The same header as an ALTER of the object just made is accepted too.
    std::string alter = WithName(c.batch, name);
    alter.replace(alter.find("CREATE"), 6, "ALTER");
    EXPECT_EQ(ErrorOf(alter), 0) << c.name << " (alter)";
  }
}

TEST_F(HeaderGrammar, CreateAndAlterSemantics) {
  EXPECT_EQ(ErrorOf("CREATE PROCEDURE Existing AS select 2"), 2714);
  EXPECT_EQ(ErrorOf("create procedure EXISTING as select 2"), 2714);  // names compare case-insensitively
  EXPECT_EQ(ErrorOf("ALTER PROCEDURE Missing AS select 2"), 208);
  EXPECT_EQ(ErrorOf("ALTER PROCEDURE vExisting AS select 2"), 2010);
  EXPECT_EQ(ErrorOf("ALTER VIEW Existing AS SELECT 1 AS x"), 2010);
  EXPECT_EQ(ErrorOf("DROP PROCEDURE Missing"), 3701);
  EXPECT_EQ(ErrorOf("DROP VIEW Existing"), 3701);
  // An ALTER keeps id and creation date, adds 16 to schema_ver and stores the text as CREATE.
  auto before = Batch("SELECT id, crdate, schema_ver FROM sysobjects WHERE name = 'Existing'").resultSets[0].rows[0];
  EXPECT_EQ(ErrorOf("-- new text\r\nalter procedure Existing as select 3"), 0);
  auto after = Batch("SELECT id, crdate, schema_ver FROM sysobjects WHERE name = 'Existing'").resultSets[0].rows[0];
  EXPECT_EQ(after[0], before[0]);
  EXPECT_EQ(after[1], before[1]);
  EXPECT_EQ(after[2].AsInt32(), before[2].AsInt32() + 16);
  auto text = Batch("SELECT text FROM syscomments WHERE id = OBJECT_ID('Existing')").resultSets[0].rows[0][0];
  EXPECT_EQ(text.AsText(), "-- new text\r\ncreate procedure Existing as select 3");
}

TEST_F(HeaderGrammar, RejectedBatchChangesNothing) {
  auto text = [&] {
    return Batch("SELECT text FROM syscomments WHERE id = OBJECT_ID('Existing')").resultSets[0].rows[0][0].AsText() +
           "|" + Batch("SELECT schema_ver FROM sysobjects WHERE name = 'Existing'").resultSets[0].rows[0][0].AsText();
  };
  std::string original = text();
  EXPECT_EQ(ErrorOf("ALTER PROCEDURE Existing WITH ENCRYPTION WITH RECOMPILE AS select 9"), 156);
  EXPECT_EQ(ErrorOf("DROP PROCEDURE Existing\r\nDROP PROCEDURE Missing"), 3701);
  EXPECT_EQ(text(), original);
  // A named transaction rolled back undoes the DDL inside it.
  auto s = server_->OpenSession(Login("sa"), "Sales");
  EXPECT_EQ(s->Execute("BEGIN TRANSACTION VEXILON").FirstError(), nullptr);
  EXPECT_EQ(s->Execute("DROP PROCEDURE Existing").FirstError(), nullptr);
  EXPECT_EQ(s->Execute("CREATE PROCEDURE Existing WITH ENCRYPTION AS select 5").FirstError(), nullptr);
  EXPECT_EQ(s->Execute("ROLLBACK TRANSACTION VEXILON").FirstError(), nullptr);
  EXPECT_EQ(text(), original);
  EXPECT_EQ(s->Execute("COMMIT TRANSACTION VEXILON").FirstError()->number, 3902);
  EXPECT_EQ(s->Execute("ROLLBACK TRANSACTION").FirstError()->number, 3903);
  // ...and a committed one keeps it.
  s->Execute("BEGIN TRAN VEXILON");
  s->Execute("ALTER PROCEDURE Existing AS select 6");
  EXPECT_EQ(s->Execute("COMMIT TRAN VEXILON").FirstError(), nullptr);
  EXPECT_NE(text(), original);
}

TEST_F(HeaderGrammar, SetOptionsAreStoredWithTheObject) {
  auto s = server_->OpenSession(Login("sa"), "Sales");
  s->Execute("SET QUOTED_IDENTIFIER OFF");
  s->Execute("SET ANSI_NULLS OFF");
  EXPECT_EQ(s->Execute("CREATE PROCEDURE Quoted AS select \"a string\"").FirstError(), nullptr);
  auto r = s->Execute("SELECT OBJECTPROPERTY(OBJECT_ID('Quoted'), 'IsQuotedIdentOn'), "
                      "OBJECTPROPERTY(OBJECT_ID('Quoted'), 'ExecIsAnsiNullsOn'), \"text\"");
  ASSERT_EQ(r.FirstError(), nullptr);
  EXPECT_EQ(r.resultSets[0].rows[0][0].AsInt32(), 0);
  EXPECT_EQ(r.resultSets[0].rows[0][1].AsInt32(), 0);
  EXPECT_EQ(r.resultSets[0].rows[0][2].AsText(), "text");  // a string while QUOTED_IDENTIFIER is OFF
}

TEST_F(HeaderGrammar, PermissionsFollowTheRoles) {
  EXPECT_EQ(ErrorOf("CREATE PROCEDURE p1 AS select 1", "plain_login"), 262);
  EXPECT_EQ(ErrorOf("CREATE PROCEDURE p2 AS select 1", "ddl_login"), 0);
  EXPECT_EQ(ErrorOf("CREATE PROCEDURE p3 AS select 1", "owner_login"), 0);
  EXPECT_EQ(ErrorOf("ALTER PROCEDURE Existing AS select 1", "plain_login"), 229);
  EXPECT_EQ(ErrorOf("CREATE PROCEDURE mine AS select 1", "bob_login"), 0);
  auto owner = Batch("SELECT USER_NAME(uid) FROM sysobjects WHERE name = 'mine'").resultSets[0].rows[0][0];
  EXPECT_EQ(owner.AsText(), "bob");  // created by bob without an owner: bob's
  EXPECT_EQ(ErrorOf("SETUSER 'bob'", "ddl_login"), 15247);
  EXPECT_EQ(ErrorOf("SETUSER 'bob'", "owner_login"), 0);
  EXPECT_EQ(ErrorOf("SETUSER 'nobody'", "sa"), 15008);
  EXPECT_EQ(ErrorOf("USE Sales", "nouser_login", "master"), 916);
  EXPECT_EQ(ErrorOf("USE NoSuchDb"), 911);
}
