// The T-SQL the simulator runs besides CREATE/ALTER headers: control flow,
// catalogue functions, identity switches, system procedures and transactions.
#include <gtest/gtest.h>

#include "automation/ComError.h"
#include "support/SimFixture.h"

using vx::sqlserver::BatchResult;
using vx::sqlserver::Value;

namespace {

class Statements : public SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    Run("CREATE TABLE Orders (id int)\nGO\nCREATE PROCEDURE dbo.Dup AS select 1\nGO\n"
        "CREATE PROCEDURE bob.Dup AS select 2\nGO\nCREATE TRIGGER trOrders ON Orders FOR INSERT AS select 1\nGO\n"
        "CREATE VIEW [My View] AS SELECT 'it''s' AS x\nGO\n");
  }

  // The single value of a one-row query run as the login.
  Value Scalar(const std::string& query, const std::string& login = "sa", const std::string& database = "Sales") {
    auto r = Batch(query, login, database);
    if (auto e = r.FirstError()) ADD_FAILURE() << e->number << " " << e->text << " in: " << query;
    if (r.resultSets.empty() || r.resultSets.back().rows.empty()) return Value();
    return r.resultSets.back().rows[0][0];
  }
};

}  // namespace

TEST_F(Statements, CatalogueFunctions) {
  int32_t dboDup = ObjectId("dbo.Dup"), bobDup = ObjectId("bob.Dup");
  EXPECT_NE(dboDup, bobDup);
  EXPECT_EQ(ObjectId("Dup"), dboDup);  // sa acts as dbo
  EXPECT_EQ(ObjectId("[bob].[Dup]"), bobDup);
  EXPECT_EQ(ObjectId("Sales.bob.Dup"), bobDup);
  EXPECT_EQ(ObjectId("Sales..Dup"), dboDup);
  EXPECT_EQ(ObjectId("[My View]"), Scalar("SELECT id FROM sysobjects WHERE name = 'My View'").AsInt32());
  EXPECT_EQ(ObjectId("nobody.Dup"), 0);
  EXPECT_EQ(ObjectId("#temp"), 0);
  // bob's own object comes first for bob.
  EXPECT_EQ(Scalar("SELECT OBJECT_ID('Dup')", "bob_login").AsInt32(), bobDup);
  EXPECT_EQ(Scalar("SELECT USER_NAME()", "bob_login").AsText(), "bob");
  EXPECT_EQ(Scalar("SELECT USER_NAME()").AsText(), "dbo");
  EXPECT_EQ(Scalar("SELECT SUSER_SNAME()", "plain_login").AsText(), "plain_login");
  EXPECT_EQ(Scalar("SELECT DB_NAME()").AsText(), "Sales");
  EXPECT_EQ(Scalar("SELECT DB_ID('master')").AsInt32(), 1);
  EXPECT_EQ(Scalar("SELECT SERVERPROPERTY('ProductVersion')").AsText().rfind("8.00.", 0), 0u);
  EXPECT_NE(Scalar("SELECT @@VERSION").AsText().find("2000"), std::string::npos);
  EXPECT_EQ(Scalar("SELECT @@MICROSOFTVERSION / 16777216").AsInt32(), 8);
  EXPECT_EQ(Scalar("SELECT OBJECTPROPERTY(" + std::to_string(dboDup) + ", N'IsProcedure')").AsInt32(), 1);
  EXPECT_EQ(Scalar("SELECT OBJECTPROPERTY(OBJECT_ID('trOrders'), 'IsTrigger')").AsInt32(), 1);
  EXPECT_EQ(Scalar("SELECT OBJECTPROPERTY(OBJECT_ID('Orders'), 'IsUserTable')").AsInt32(), 1);
  EXPECT_TRUE(Scalar("SELECT OBJECTPROPERTY(-1, 'IsProcedure')").IsNull());
  EXPECT_TRUE(Scalar("SELECT OBJECTPROPERTY(OBJECT_ID('Orders'), 'NoSuchProperty')").IsNull());
  EXPECT_EQ(Scalar("SELECT IS_MEMBER('db_ddladmin')", "ddl_login").AsInt32(), 1);
  EXPECT_EQ(Scalar("SELECT IS_MEMBER('db_owner')", "ddl_login").AsInt32(), 0);
  EXPECT_TRUE(Scalar("SELECT IS_MEMBER('no_such_role')").IsNull());
  EXPECT_EQ(Scalar("SELECT CONVERT(int, '42') + 1").AsInt32(), 43);
  EXPECT_EQ(Scalar("SELECT TOP 1 name FROM sysobjects WHERE xtype = 'P' ORDER BY name DESC").AsText(), "Dup");
}

TEST_F(Statements, CollationIgnoresCaseAndTrailingBlanks) {
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM sysobjects WHERE name = 'DUP  '").AsInt32(), 2);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM sysobjects WHERE xtype = 'p '").AsInt32(), 5);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM master.dbo.sysdatabases WHERE name = N'SALES'").AsInt32(), 1);
  EXPECT_EQ(ErrorOf("CREATE DATABASE sales", "sa", "master"), 1801);
}

TEST_F(Statements, OtherDatabasesByThreePartNames) {
  server_->CreateDatabase("Other");
  Run("CREATE PROCEDURE InOther AS select 1", "Other");
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Other.dbo.sysobjects WHERE name = 'InOther'").AsInt32(), 1);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM [Other]..sysobjects WHERE name = 'Dup'").AsInt32(), 0);
  EXPECT_EQ(ErrorOf("SELECT COUNT(*) FROM Other.dbo.sysobjects", "plain_login"), 916);
  EXPECT_EQ(ErrorOf("SELECT COUNT(*) FROM Nowhere.dbo.sysobjects"), 911);
}

TEST_F(Statements, ControlFlowAndMessages) {
  auto r = Batch("IF EXISTS (SELECT * FROM sysobjects WHERE name = 'Dup') PRINT 'yes' ELSE PRINT 'no'\n"
                 "IF OBJECT_ID('Missing') IS NOT NULL\nBEGIN\n  PRINT 'never'\n  DROP PROCEDURE Missing\nEND\n"
                 "ELSE BEGIN PRINT N'fine'; END");
  ASSERT_EQ(r.FirstError(), nullptr);
  ASSERT_EQ(r.messages.size(), 2u);
  EXPECT_EQ(r.messages[0].text, "yes");
  EXPECT_EQ(r.messages[1].text, "fine");
  EXPECT_EQ(r.messages[1].severity, 0);
  // Our own drop script form.
  EXPECT_EQ(ErrorOf("if exists (select * from dbo.sysobjects where id = object_id(N'[bob].[Dup]') and "
                    "OBJECTPROPERTY(id, N'IsProcedure') = 1)\r\ndrop procedure [bob].[Dup]"),
            0);
  EXPECT_EQ(ObjectId("bob.Dup"), 0);
  // A user procedure is found and its arguments checked; its body is kept, not run, so the call is refused.
  EXPECT_EQ(ErrorOf("EXEC dbo.Dup"), 50000);
  EXPECT_EQ(ErrorOf("Dup"), 50000);  // a procedure name alone calls it
  EXPECT_EQ(ErrorOf("[dbo].Dup 1, 'x'"), 8144);
  EXPECT_EQ(ErrorOf("EXEC dbo.Dup @n = 1"), 8145);
  EXPECT_EQ(ErrorOf("SET NOCOUNT ON\nDup"), 170);  // ...only as the first statement
  EXPECT_EQ(ErrorOf("EXEC NoSuchProc 1, 'a'"), 2812);
  EXPECT_EQ(ErrorOf("EXEC sp_who"), 50000);  // found in master, its body not run: refused
  EXPECT_EQ(ErrorOf("SELECT @undeclared"), 137);
  EXPECT_EQ(ErrorOf("SELECT * FROM Nowhere"), 208);
  EXPECT_EQ(ErrorOf("SELECT nocolumn FROM sysobjects"), 207);
  EXPECT_EQ(ErrorOf("SELECT NOSUCHFUNCTION(1)"), 195);
  EXPECT_EQ(ErrorOf("SELECT FROM WHERE"), 156);  // near the keyword FROM
  EXPECT_EQ(ErrorOf("FROBNICATE ;"), 170);
}

TEST_F(Statements, DropRemovesDependentsAndTables) {
  int32_t trigger = ObjectId("trOrders");
  EXPECT_EQ(ErrorOf("DROP TABLE Orders"), 0);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM sysobjects WHERE id = " + std::to_string(trigger)).AsInt32(), 0);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM syscomments WHERE id = " + std::to_string(trigger)).AsInt32(), 0);
  EXPECT_EQ(ErrorOf("DROP PROCEDURE dt_verstamp006", "owner_login"), 3704);  // shipped
  EXPECT_EQ(ErrorOf("DROP PROCEDURE Dup", "plain_login"), 3704);
  EXPECT_EQ(ErrorOf("DROP PROCEDURE Dup, bob.Dup", "owner_login"), 0);
  EXPECT_EQ(ErrorOf("DROP DATABASE Sales", "sa", "master"), 0);
  EXPECT_EQ(ErrorOf("USE Sales", "sa", "master"), 911);
}

TEST_F(Statements, SetUserIdentity) {
  auto s = server_->OpenSession(Login("sa"), "Sales");
  auto value = [&](const std::string& q) {
    auto r = s->Execute(q);
    EXPECT_EQ(r.FirstError(), nullptr) << q;
    return r.resultSets.empty() ? Value() : r.resultSets[0].rows[0][0];
  };
  EXPECT_EQ(s->Execute("setuser N'bob'").FirstError(), nullptr);
  EXPECT_EQ(value("SELECT USER_NAME()").AsText(), "bob");
  EXPECT_EQ(value("SELECT OBJECT_ID('Dup')").AsInt32(), ObjectId("bob.Dup"));
  s->Execute("CREATE PROCEDURE MadeAsBob AS select 1");
  EXPECT_NE(ObjectId("bob.MadeAsBob"), 0);  // objects made meanwhile are the impersonated user's
  EXPECT_EQ(ObjectId("dbo.MadeAsBob"), 0);
  // USE of the same database keeps the identity; another database ends it.
  s->Execute("USE [Sales]");
  EXPECT_EQ(value("SELECT USER_NAME()").AsText(), "bob");
  s->Execute("USE master");
  s->Execute("USE Sales");
  EXPECT_EQ(value("SELECT USER_NAME()").AsText(), "dbo");
  // Windows users and roles cannot be impersonated; a failed SETUSER changes nothing.
  server_->AddWindowsLogin("TESTDOM\\winuser");
  server_->AddUser("Sales", "winuser", "TESTDOM\\winuser");
  EXPECT_EQ(s->Execute("SETUSER 'bob'").FirstError(), nullptr);
  EXPECT_EQ(s->Execute("SETUSER 'winuser'").FirstError()->number, 15008);
  EXPECT_EQ(s->Execute("SETUSER 'db_owner'").FirstError()->number, 15008);
  EXPECT_EQ(value("SELECT USER_NAME()").AsText(), "bob");
  EXPECT_EQ(s->Execute("SETUSER").FirstError(), nullptr);
  EXPECT_EQ(value("SELECT USER_NAME()").AsText(), "dbo");
}

TEST_F(Statements, TransactionsAcrossBatches) {
  auto s = server_->OpenSession(Login("sa"), "Sales");
  s->Execute("BEGIN TRAN outer_one");
  s->Execute("BEGIN TRANSACTION inner_one");
  EXPECT_EQ(s->Execute("SELECT @@TRANCOUNT").resultSets[0].rows[0][0].AsInt32(), 2);
  s->Execute("CREATE PROCEDURE InTran AS select 1");
  EXPECT_EQ(s->Execute("COMMIT TRAN inner_one").FirstError(), nullptr);
  // A failing batch inside the transaction keeps the transaction open.
  EXPECT_EQ(s->Execute("DROP PROCEDURE Missing").FirstError()->number, 3701);
  EXPECT_EQ(s->Execute("SELECT @@TRANCOUNT").resultSets[0].rows[0][0].AsInt32(), 1);
  // ROLLBACK undoes everything since the outermost BEGIN.
  EXPECT_EQ(s->Execute("ROLLBACK").FirstError(), nullptr);
  EXPECT_EQ(ObjectId("InTran"), 0);
  // A ROLLBACK followed by a failing statement in one batch: the rollback stands.
  s->Execute("BEGIN TRAN");
  s->Execute("CREATE PROCEDURE Undone AS select 1");
  EXPECT_EQ(s->Execute("ROLLBACK TRAN\nDROP PROCEDURE Missing").FirstError()->number, 3701);
  EXPECT_EQ(s->Execute("SELECT @@TRANCOUNT").resultSets[0].rows[0][0].AsInt32(), 0);
  EXPECT_EQ(ObjectId("Undone"), 0);
  // Closing a session with an open transaction rolls it back.
  s->Execute("BEGIN TRAN");
  s->Execute("CREATE PROCEDURE Abandoned AS select 1");
  s->Close();
  EXPECT_EQ(ObjectId("Abandoned"), 0);
  EXPECT_THROW(s->Execute("select 1"), vx::ComError);
}

TEST_F(Statements, SecuritySetUpProcedures) {
  EXPECT_EQ(ErrorOf("EXEC sp_addlogin 'plain_login', 'x'", "sa", "master"), 15025);
  EXPECT_EQ(ErrorOf("EXEC sp_addlogin 'newone', 'x', 'NoSuchDb'", "sa", "master"), 15010);
  EXPECT_EQ(ErrorOf("EXEC sp_addlogin 'newone', 'x'", "owner_login", "Sales"), 15247);
  EXPECT_EQ(ErrorOf("EXEC sp_grantlogin 'nodomain'", "sa", "master"), 15407);
  EXPECT_EQ(ErrorOf("EXEC sp_adduser 'nouser_login', 'plain_user'"), 15023);
  EXPECT_EQ(ErrorOf("EXEC sp_adduser 'plain_login', 'again'"), 15063);
  EXPECT_EQ(ErrorOf("EXEC sp_adduser 'ghost_login'"), 15007);
  EXPECT_EQ(ErrorOf("EXEC sp_adduser 'nouser_login'", "plain_login"), 15247);
  EXPECT_EQ(ErrorOf("EXEC sp_addrolemember 'no_role', 'bob'"), 15014);
  EXPECT_EQ(ErrorOf("EXEC sp_addrolemember 'db_owner', 'nobody'"), 15410);
  EXPECT_EQ(ErrorOf("EXEC sp_dropuser 'bob'"), 15183);  // bob owns objects
  EXPECT_EQ(ErrorOf("EXEC sp_addrole 'auditors'"), 0);
  EXPECT_EQ(ErrorOf("EXEC sp_addrolemember 'auditors', 'plain_user'"), 0);
  EXPECT_EQ(Scalar("SELECT IS_MEMBER('auditors')", "plain_login").AsInt32(), 1);
  // Guest lets a login without a user in.
  EXPECT_EQ(ErrorOf("USE Sales", "nouser_login", "master"), 916);
  server_->SetGuestAccess("Sales", true);
  EXPECT_EQ(ErrorOf("USE Sales", "nouser_login", "master"), 0);
  EXPECT_EQ(Scalar("SELECT USER_NAME()", "nouser_login").AsText(), "guest");
  // A new password works, the old one no longer does.
  EXPECT_EQ(ErrorOf("EXEC sp_password 'pw', 'new', 'plain_login'", "sa", "master"), 0);
  EXPECT_THROW(server_->OpenSession(Login("plain_login"), ""), vx::ComError);
}

TEST_F(Statements, HostileInputGivesErrorsNotCrashes) {
  std::string deep;
  for (int i = 0; i < 5000; ++i) deep += "IF 1 = 1 BEGIN ";
  EXPECT_EQ(ErrorOf(deep + "PRINT 'x'"), 191);
  EXPECT_EQ(ErrorOf("CREATE PROCEDURE p;99999999999999999999 AS select 1"), 170);
  EXPECT_EQ(ErrorOf("SELECT " + std::string(20000, '(') + "1"), 191);
  EXPECT_EQ(ErrorOf("EXEC ('select 1')"), 50000);  // refused, not taken for a syntax error
  EXPECT_EQ(ErrorOf("SELECT 'a' + N'b"), 105);
  EXPECT_EQ(ErrorOf("SELECT [unterminated"), 105);
  EXPECT_EQ(ErrorOf(std::string("SELECT '\xff\xfe'")), 0);
  EXPECT_EQ(ErrorOf("USE"), 170);
  EXPECT_EQ(ErrorOf("SET"), 170);
  EXPECT_EQ(ErrorOf("IF"), 170);
  EXPECT_EQ(ErrorOf("CREATE"), 170);
  EXPECT_EQ(ErrorOf("DROP PROCEDURE"), 170);
  EXPECT_NE(ObjectId("dbo.Dup"), 0);
}

TEST_F(Statements, NonAsciiTextAndNames) {
  std::string body;
  for (int i = 0; i < 4100; ++i) body += "é";
  Run("CREATE PROCEDURE [Straße] AS select N'" + body + "'\nGO\nCREATE VIEW [ÆRØ] AS SELECT 1 AS x");
  EXPECT_NE(ObjectId("[STRAßE]"), 0);
  EXPECT_NE(ObjectId("[æRø]"), 0);  // Latin-1 letters compare without case
  auto rows = Batch("SELECT text FROM syscomments WHERE id = OBJECT_ID('Straße') ORDER BY colid").resultSets[0].rows;
  ASSERT_EQ(rows.size(), 2u);
  std::string all;
  for (const auto& r : rows) {
    std::string part = r[0].AsText();
    EXPECT_NE(static_cast<unsigned char>(part[0]) & 0xC0, 0x80u) << "a row starts inside a character";
    all += part;
  }
  EXPECT_EQ(all, "CREATE PROCEDURE [Straße] AS select N'" + body + "'");
}
