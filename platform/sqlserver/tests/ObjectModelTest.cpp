// The object model over the simulator: connection and login matrix, role facts,
// collections, object text and settings, ExecuteImmediate, the user switch,
// named transactions, scripts that re-create objects, and a lost connection.
// Each runs on the simulator's own sessions and again over ODBC through TDS.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "automation/ComError.h"
#include "sqlserver/Database.h"
#include "sqlserver/Databases.h"
#include "sqlserver/Quoting.h"
#include "sqlserver/SQLServer.h"
#include "sqlserver/ServerErrors.h"
#include "sqlserver/StoredProcedure.h"
#include "sqlserver/Table.h"
#include "sqlserver/Trigger.h"
#include "sqlserver/UserDefinedFunction.h"
#include "sqlserver/View.h"
#include "sqlserver_sim/SimFolder.h"
#include "sqlserver_sim/SimServer.h"
#include "sqlserver_tds/TdsListener.h"
#include "support/SimFixture.h"
#include "support/ServedFactory.h"
#include "support/ServedServer.h"

using namespace vx::sqlserver;

namespace {

int32_t ErrorNumber(const std::function<void()>& f) {
  try {
    f();
  } catch (const vx::ComError& e) {
    return e.Number();
  }
  return 0;
}

class ObjectModel : public SimFixture, public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    if (OverOdbc()) {
      tds_test::IsolateOdbcConfig(folder_);
      listener_ = std::make_unique<vx::tds::TdsListener>(std::make_shared<vx::sqlsim::SimSessionFactory>(folder_),
                                                         serverName_);
      listener_->Start();
      vx::sqlserver::SetDefaultSessionFactory(std::make_shared<tds_test::ServedFactory>(
          serverName_, "127.0.0.1," + std::to_string(listener_->Port())));
    }
    Run("CREATE TABLE Orders (id int)\nGO\n"
        "CREATE PROCEDURE dbo.Dup AS select 'dbo'\nGO\n"
        "CREATE PROCEDURE bob.Dup AS select 'bob'\nGO\n"
        "CREATE VIEW vOrders AS SELECT id FROM Orders\nGO\n"
        "CREATE TRIGGER trOrders ON Orders FOR INSERT AS select 1\nGO\n"
        "CREATE FUNCTION fInline() RETURNS TABLE AS RETURN SELECT 1 AS x\nGO\n");
    server_->CreateDatabase("Copy");
  }

  std::shared_ptr<SQLServer> Connect(const std::string& login = "sa") {
    auto s = std::make_shared<SQLServer>();
    if (login == "trusted") {
      s->SetLoginSecure(true);
      s->Connect(serverName_);
    } else {
      s->Connect(serverName_, login, login == "sa" ? "sa-pw" : "pw");
    }
    return s;
  }

  void TearDown() override {
    listener_.reset();
    vx::sqlserver::SetDefaultSessionFactory(nullptr);
    SimFixture::TearDown();
  }
  static bool OverOdbc() { return std::string(GetParam()) == "Odbc"; }

  std::shared_ptr<Database> Sales(SQLServer& s) { return s.GetDatabases().Item("Sales"); }
  std::unique_ptr<vx::tds::TdsListener> listener_;
};

}  // namespace

TEST_P(ObjectModel, ConnectAndLoginMatrix) {
  if (OverOdbc()) GTEST_SKIP() << "trusted logins and other simulated servers: simulator only";
  auto s = Connect();
  EXPECT_EQ(s->VersionMajor(), 8);
  EXPECT_EQ(s->Login(), "sa");
  EXPECT_EQ(s->Status(), 1);
  SQLServer lower;
  lower.Connect("simtest", std::string("sa"), std::string("sa-pw"));
  EXPECT_EQ(lower.Name(), "simtest");  // the name as given
  EXPECT_EQ(ErrorNumber([&] { SQLServer x; x.Connect(serverName_, std::string("sa"), std::string("bad")); }),
            vx::err::kServerConnection);
  EXPECT_EQ(ErrorNumber([&] { SQLServer x; x.Connect(serverName_, std::string("nobody"), std::string("pw")); }),
            vx::err::kServerConnection);
  EXPECT_EQ(ErrorNumber([&] { SQLServer x; x.Connect("NO-SUCH-SERVER", std::string("sa"), std::string("sa-pw")); }),
            vx::err::kServerUnreachable);
  EXPECT_EQ(ErrorNumber([&] { Connect("trusted"); }), vx::err::kServerConnection);
  server_->AddWindowsLogin(vx::sqlsim::CurrentWindowsLogin(), true);
  auto t = Connect("trusted");
  EXPECT_EQ(t->Login(), vx::sqlsim::CurrentWindowsLogin());
  EXPECT_EQ(t->Login().rfind("TESTDOM\\", 0), 0u);
  // Members needing the connection raise once it is gone.
  t->DisConnect();
  EXPECT_EQ(t->Status(), 0);
  EXPECT_EQ(ErrorNumber([&] { t->ExecuteImmediate("select 1"); }), vx::err::kServerConnection);
  // Another version of the server.
  vx::sqlsim::ServerOptions seven;
  seven.versionMajor = 7;
  seven.saPassword = "x";
  vx::sqlsim::SimServer::Create("OLDONE", seven);
  SQLServer old;
  old.Connect("OLDONE", std::string("sa"), std::string("x"));
  EXPECT_EQ(old.VersionMajor(), 7);
}

TEST_P(ObjectModel, DatabasesAndRoleFacts) {
  auto s = Connect();
  std::vector<std::string> names;
  for (const auto& d : s->GetDatabases().Items()) names.push_back(d->Name());
  EXPECT_EQ(names, (std::vector<std::string>{"Copy", "master", "model", "msdb", "Sales", "tempdb"}));
  EXPECT_EQ(s->GetDatabases().ItemByID(1)->Name(), "master");
  EXPECT_EQ(ErrorNumber([&] { s->GetDatabases().ItemByID(999); }), vx::err::kItemNotFound);
  struct Row {
    const char* login;
    vx::VbBool owner, ddl;
    int32_t ownerError;
  } matrix[] = {{"sa", vx::kTrue, vx::kFalse, 0},
                {"owner_login", vx::kTrue, vx::kFalse, 0},
                {"ddl_login", vx::kFalse, vx::kTrue, 0},
                {"plain_login", vx::kFalse, vx::kFalse, 0},
                {"nouser_login", vx::kFalse, vx::kFalse, vx::err::ServerMessage(916)}};
  server_->SetGuestAccess("Copy", true);
  EXPECT_EQ(Connect("nouser_login")->GetDatabases().Item("Copy")->IsDbOwner(), vx::kFalse);  // guest: access
  for (const Row& r : matrix) {
    auto c = Connect(r.login);
    auto db = c->GetDatabases().ItemByID(Sales(*s)->ID());  // returned even without access
    EXPECT_EQ(ErrorNumber([&] { db->IsDbOwner(); }), r.ownerError) << r.login;
    if (r.ownerError) continue;
    EXPECT_EQ(db->IsDbOwner(), r.owner) << r.login;
    EXPECT_EQ(db->IsDdlAdmin(), r.ddl) << r.login;
  }
}

TEST_P(ObjectModel, CollectionsAndObjects) {
  auto s = Connect();
  auto db = Sales(*s);
  int32_t viewId = ObjectId("vOrders");
  EXPECT_EQ(ErrorNumber([&] { db->StoredProcedures().ItemByID(viewId); }), vx::err::kItemNotFound);
  auto view = db->Views().ItemByID(viewId);
  EXPECT_EQ(view->Name(), "vOrders");
  EXPECT_EQ(view->Text(), "CREATE VIEW vOrders AS SELECT id FROM Orders");
  EXPECT_EQ(view->QuotedIdentifierStatus(), vx::kTrue);
  EXPECT_EQ(view->AnsiNullsStatus(), vx::kTrue);
  EXPECT_EQ(view->Encrypted(), vx::kFalse);
  auto table = db->Tables().ItemByID(ObjectId("Orders"));
  EXPECT_EQ(table->Name(), "Orders");
  ASSERT_EQ(table->Triggers().Count(), 1);
  auto trigger = table->Triggers().ItemByID(ObjectId("trOrders"));
  EXPECT_EQ(trigger->ParentID(), table->ID());
  auto fn = db->UserDefinedFunctions().ItemByID(ObjectId("fInline"));
  EXPECT_EQ(fn->FunctionType(), "IF");
  auto bobs = db->StoredProcedures().ItemByID(ObjectId("bob.Dup"));
  EXPECT_EQ(bobs->Owner(), "bob");
  EXPECT_EQ(bobs->Text(), "CREATE PROCEDURE bob.Dup AS select 'bob'");
  EXPECT_EQ(bobs->CreateDate().size(), 19u);
  // The encrypted state is read live; the text of an encrypted object cannot be read.
  s->ExecuteImmediate("USE [Sales]\r\nGO\r\nALTER PROCEDURE bob.Dup WITH ENCRYPTION AS select 'bob'\r\nGO\r\n");
  EXPECT_EQ(bobs->Encrypted(), vx::kTrue);
  EXPECT_EQ(ErrorNumber([&] { bobs->Text(); }), vx::err::kObjectEncrypted);
  EXPECT_EQ(ErrorNumber([&] { bobs->Script(4); }), vx::err::kObjectEncrypted);
}

TEST_P(ObjectModel, ANameHoldingANulIsRefusedAndNeverMatchesItsFirstPart) {
  const std::string name("Dup\0x", 5);
  auto s = Connect();
  try {
    s->ExecuteImmediate("USE [Sales]\r\nGO\r\nCREATE PROCEDURE [" + name + "] AS select 1\r\n");
    ADD_FAILURE() << "created";
  } catch (const vx::ComError& e) {
    // The simulator refuses the name; over ODBC the batch is not sent, as FreeTDS would cut it at the NUL.
    EXPECT_NE(e.Description().find(OverOdbc() ? "holds a NUL character" : "'Dup' is an invalid name because it "
                                                                           "contains a NULL character"),
              std::string::npos)
        << e.Description();
  }
  auto session = DefaultSessionFactory()->Open(serverName_, Login("sa"), "Sales");
  const auto r = session->Execute("SELECT OBJECT_ID(N'" + name + "'), OBJECT_ID(N'Dup')");
  if (!OverOdbc()) {
    EXPECT_TRUE(r.resultSets.at(0).rows.at(0).at(0).IsNull());
    EXPECT_FALSE(r.resultSets.at(0).rows.at(0).at(1).IsNull());
  } else {
    EXPECT_TRUE(r.resultSets.empty() && r.FirstError());
  }
  EXPECT_EQ(ErrorNumber([&] { s->GetDatabases().Item(std::string("Sales\0x", 7)); }), vx::err::kItemNotFound);
}

TEST_P(ObjectModel, ExecuteImmediateStopsAtTheFirstFailingBatch) {
  auto s = Connect();
  try {
    s->ExecuteImmediate("USE [Sales]\r\nGO\r\nALTER PROCEDURE NoSuchProc AS select 1\r\nGO\r\nDROP PROCEDURE dbo.Dup\r\nGO\r\n");
    ADD_FAILURE();
  } catch (const vx::ComError& e) {
    EXPECT_EQ(e.Number(), -2147221296);
    EXPECT_NE(e.Description().find("Invalid object name 'NoSuchProc'."), std::string::npos);
  }
  EXPECT_NE(ObjectId("dbo.Dup"), 0);  // the batch after the failing one never ran
  // An informational message is no error; continue-on-error runs every batch.
  s->ExecuteImmediate("USE [Sales]\r\ngo\r\nCREATE PROCEDURE CallsMissing AS exec Missing\r\n  GO  \r\n");
  EXPECT_NE(ObjectId("CallsMissing"), 0);
  EXPECT_EQ(ErrorNumber([&] { s->ExecuteImmediate("USE [Sales]\r\nGO\r\nselect * from Nowhere\r\nGO\r\nCREATE PROCEDURE After AS select 1", 2); }),
            -2147221296);
  EXPECT_NE(ObjectId("After"), 0);
  // The length argument limits the command to its first characters.
  s->ExecuteImmediate("USE [Sales]\r\nGO\r\nCREATE PROCEDURE Cut AS select 'é'\r\nGO\r\nDROP PROCEDURE Cut", 0, 57);
  EXPECT_NE(ObjectId("Cut"), 0);
}

TEST_P(ObjectModel, UserSwitchResolvesAmongThatUsersObjects) {
  auto s = Connect();
  auto db = Sales(*s);
  db->SetUser("bob");
  s->ExecuteImmediate("USE [Sales]\r\nGO\r\nALTER PROCEDURE Dup WITH ENCRYPTION AS select 'bob 2'\r\nGO\r\n");
  db->SetUser(s->Login());
  s->ExecuteImmediate("USE [Sales]\r\nGO\r\nALTER PROCEDURE Dup AS select 'dbo 2'\r\nGO\r\n");
  EXPECT_EQ(db->StoredProcedures().ItemByID(ObjectId("bob.Dup"))->Encrypted(), vx::kTrue);
  EXPECT_EQ(db->StoredProcedures().ItemByID(ObjectId("dbo.Dup"))->Text(), "CREATE PROCEDURE Dup AS select 'dbo 2'");
  // A db_ddladmin login may not impersonate.
  auto ddl = Connect("ddl_login");
  EXPECT_EQ(ErrorNumber([&] { Sales(*ddl)->SetUser("bob"); }), vx::err::ServerMessage(15247));
  Sales(*ddl)->SetUser(ddl->Login());  // switching back to oneself never fails
}

TEST_P(ObjectModel, NamedTransactionRollsBackTheRestore) {
  auto s = Connect();
  auto proc = Sales(*s)->StoredProcedures().ItemByID(ObjectId("dbo.Dup"));
  const std::string text = proc->Text();
  std::string restore = "USE [Sales]\r\nGO\r\n\r\n" + proc->Script(1) + proc->Script(4);
  s->BeginTransaction("VEXILON");
  s->ExecuteImmediate("USE [Sales]\r\nGO\r\nDROP PROCEDURE dbo.Dup\r\nGO\r\n");
  s->RollbackTransaction("VEXILON");
  EXPECT_EQ(proc->Text(), "CREATE PROCEDURE dbo.Dup AS select 'dbo'");
  s->BeginTransaction("VEXILON");
  s->ExecuteImmediate(restore);
  s->CommitTransaction("VEXILON");
  EXPECT_EQ(Sales(*s)->StoredProcedures().ItemByID(ObjectId("dbo.Dup"))->Text(), text);
  EXPECT_EQ(ErrorNumber([&] { s->CommitTransaction("VEXILON"); }), vx::err::ServerMessage(3902));
}

TEST_P(ObjectModel, ScriptsRecreateObjectsIdentically) {
  Run("SET QUOTED_IDENTIFIER OFF\nGO\nSET ANSI_NULLS OFF\nGO\n"
      "/* header comment */\r\nCREATE PROCEDURE bob.[odd]]name] @a int = 1 AS select \"it's\" -- trailing\r\nGO\n",
      "Sales");
  Run("CREATE TABLE Orders (id int)\nGO\nEXEC sp_adduser 'bob_login', 'bob', 'db_ddladmin'", "Copy");
  auto s = Connect();
  auto db = Sales(*s);
  std::vector<std::shared_ptr<ProgrammableObject>> objects{
      db->StoredProcedures().ItemByID(ObjectId("bob.[odd]]name]")),
      db->Views().ItemByID(ObjectId("vOrders")),
      db->Tables().ItemByID(ObjectId("Orders"))->Triggers().ItemByID(ObjectId("trOrders")),
      db->UserDefinedFunctions().ItemByID(ObjectId("fInline"))};
  for (const auto& o : objects) {
    std::string drop = o->Script(1), create = o->Script(4);
    EXPECT_EQ(drop.substr(drop.size() - 8), "\r\nGO\r\n\r\n") << o->Name();
    EXPECT_EQ(create.substr(create.size() - 8), "\r\nGO\r\n\r\n") << o->Name();
    EXPECT_EQ(o->Script(131073).rfind("/****** Object:  ", 0), 0u);
    EXPECT_NE(o->Script(131076).find(create.substr(0, 40)), std::string::npos);
    // Restore runs the drop and create scripts in the object's database; twice, to see the drop work.
    for (int round = 0; round < 2; ++round)
      s->ExecuteImmediate("USE [Copy]\r\nGO\r\n\r\n" + drop + create);
    auto copyDb = s->GetDatabases().Item("Copy");
    int32_t id = ObjectId(o->Owner() == "bob" ? "bob.[odd]]name]" : o->Name(), "Copy");
    ASSERT_NE(id, 0) << o->Name();
    std::shared_ptr<ProgrammableObject> copy;
    if (o->Info().xtype == "P") copy = copyDb->StoredProcedures().ItemByID(id);
    else if (o->Info().xtype == "V") copy = copyDb->Views().ItemByID(id);
    else if (o->Info().xtype == "TR") copy = copyDb->Tables().ItemByID(ObjectId("Orders", "Copy"))->Triggers().ItemByID(id);
    else copy = copyDb->UserDefinedFunctions().ItemByID(id);
    EXPECT_EQ(copy->Text(), o->Text()) << o->Name();
    EXPECT_EQ(copy->Owner(), o->Owner()) << o->Name();
    EXPECT_EQ(copy->QuotedIdentifierStatus(), o->QuotedIdentifierStatus()) << o->Name();
    EXPECT_EQ(copy->AnsiNullsStatus(), o->AnsiNullsStatus()) << o->Name();
  }
  EXPECT_EQ(objects[0]->QuotedIdentifierStatus(), vx::kFalse);
  EXPECT_NE(objects[0]->Script(1).find("drop procedure [bob].[odd]]name]"), std::string::npos);
  EXPECT_EQ(ErrorNumber([&] { objects[0]->Script(2); }), vx::err::kInvalidProcedureCall);
}

TEST_P(ObjectModel, NamesInTheHeaderCommentCannotEndIt) {
  Run("CREATE TABLE Victim (id int)\nGO\n", "Copy");
  auto s = Connect();
  auto db = Sales(*s);
  EXPECT_NE(db->StoredProcedures().ItemByID(ObjectId("dbo.Dup"))->Script(131073).find(
                "/****** Object:  Stored Procedure dbo.Dup    Script Date: "),
            std::string::npos);
  // An owner so named, too.
  const std::string owner = "o */ DROP TABLE Victim /*";
  server_->AddSqlLogin("hostile", "pw");
  for (const char* database : {"Sales", "Copy"}) {
    server_->AddUser(database, owner, "hostile");
    server_->AddRoleMember(database, "db_ddladmin", owner);
  }
  for (const std::string& name : std::vector<std::string>{"x */ DROP TABLE Victim /*", "p/*1", "p*/1",
                                                         "a\r\nGO\r\nDROP TABLE Victim --*",
                                                         Bracket(owner) + ".q"}) {
    const std::string qualified = name.front() == '[' ? name : Bracket(name);
    Run("CREATE PROCEDURE " + qualified + " AS select 1\nGO\n");
    auto proc = db->StoredProcedures().ItemByID(ObjectId(qualified));
    const std::string header = proc->Script(131073);
    EXPECT_EQ(header.find('\n'), header.find("\r\nif exists") + 1) << name;  // the header is one line
    for (int round = 0; round < 2; ++round)
      s->ExecuteImmediate("USE [Copy]\r\nGO\r\n\r\n" + header + proc->Script(131076));
    EXPECT_NE(ObjectId(qualified, "Copy"), 0) << name;
    EXPECT_NE(ObjectId("Victim", "Copy"), 0) << name;
  }
}

TEST_P(ObjectModel, LostConnectionAnswersTheConnectionNumber) {
  auto s = Connect();
  auto db = Sales(*s);
  auto proc = db->StoredProcedures().ItemByID(ObjectId("dbo.Dup"));
  server_->BreakSessions();
  // Over the network the client learns of it at its next call.
  EXPECT_EQ(ErrorNumber([&] { s->ExecuteImmediate("select 1"); }), vx::err::kServerConnection);
  EXPECT_EQ(s->Status(), 0);
  EXPECT_EQ(ErrorNumber([&] { s->GetDatabases().Refresh(); }), vx::err::kServerConnection);
  EXPECT_EQ(ErrorNumber([&] { proc->Text(); }), vx::err::kServerConnection);
  EXPECT_EQ(ErrorNumber([&] { db->IsDbOwner(); }), vx::err::kServerConnection);
  s->DisConnect();
  auto again = Connect();  // a new connection works
  EXPECT_EQ(again->Status(), 1);
}

TEST_P(ObjectModel, SessionsShareTheServerWithABoundedWait) {
  if (OverOdbc()) GTEST_SKIP() << "the simulator's own sessions";
  setenv("VEXILON_SIM_BUSY_MS", "200", 1);
  auto holder = server_->OpenSession(Login("sa"), "Sales");
  auto other = server_->OpenSession(Login("sa"), "Sales");
  ASSERT_EQ(holder->Execute("BEGIN TRANSACTION VEXILON").FirstError(), nullptr);
  ASSERT_EQ(holder->Execute("DROP PROCEDURE dbo.Dup").FirstError(), nullptr);
  // Readers go on (they see the committed state); a writer gives up with a lock time-out.
  auto read = other->Execute("SELECT COUNT(*) FROM sysobjects WHERE name = 'Dup'");
  ASSERT_EQ(read.FirstError(), nullptr);
  EXPECT_EQ(read.resultSets[0].rows[0][0].AsInt32(), 2);
  auto write = other->Execute("CREATE PROCEDURE Another AS select 1");
  ASSERT_NE(write.FirstError(), nullptr);
  EXPECT_EQ(write.FirstError()->number, 1222);
  ASSERT_EQ(holder->Execute("ROLLBACK TRANSACTION VEXILON").FirstError(), nullptr);
  EXPECT_EQ(other->Execute("CREATE PROCEDURE Another AS select 1").FirstError(), nullptr);
  unsetenv("VEXILON_SIM_BUSY_MS");
}

INSTANTIATE_TEST_SUITE_P(Sessions, ObjectModel, ::testing::Values("Sim", "Odbc"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });
