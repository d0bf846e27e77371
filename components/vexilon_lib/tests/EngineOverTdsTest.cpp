// The engine on a server reached over ODBC: the demo server built by its script,
// served over TDS by `sqlsim serve`, encrypted with archiving and restored; and
// the catalogue reads that ride on the server object's own session.
#include <map>

#include "EngineTestSupport.h"
#include "automation/DateText.h"
#include "automation/ErrorNumbers.h"
#include "support/ServedServer.h"
#include "support/StraddlingText.h"

namespace {

using engine_test::EngineTest;
using engine_test::ErrorOf;

class EngineOverTds : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    tds_test::IsolateOdbcConfig(folder_);
    // The demo server lives in a folder of its own: the engine's simulator folder
    // does not hold it, so the engine reaches it by address, over ODBC.
    const std::string served = folder_ + "served";
    const std::string build = "VEXILON_SIM_DIR='" + served + "' '" + VX_DEMO_DIR + "/create-demo-server.sh' '" +
                              VX_SQLSIM + "' >/dev/null";
    ASSERT_EQ(std::system(build.c_str()), 0);
    server_ = std::make_unique<tds_test::ServedServer>(VX_SQLSIM, "VEXDEMO", served);
    engine_.SetSessionFactory(nullptr);  // the program's own choice of session
  }
  void TearDown() override {
    server_.reset();
    EngineTest::TearDown();
  }
  int32_t DatabaseId(const std::string& name) {
    for (const auto& d : engine_.GetDatabases(vx::kTrue).arrDatabases)
      if (d.strDatabaseName == name) return d.lngDatabaseID;
    return 0;
  }
  std::unique_ptr<tds_test::ServedServer> server_;
};

TEST_F(EngineOverTds, ADatabaseIsEncryptedWithItsArchiveAndRestoredByteForByte) {
  // A view with an INSTEAD OF trigger and a permission: both outlive the view's restore.
  auto served = vx::sqlsim::SimServer::Open("VEXDEMO", folder_ + "served");
  served.RunScript("CREATE VIEW dbo.AccountNames AS SELECT AccountId, Name FROM dbo.Accounts\r\nGO\r\n"
                   "CREATE TRIGGER dbo.AccountNamesInsert ON dbo.AccountNames INSTEAD OF INSERT AS SELECT 1\r\nGO\r\n"
                   "GRANT SELECT ON dbo.AccountNames TO public\r\nGO\r\n",
                   "Ledger");
  UDT_LOGIN_CREDENTIALS login{server_->Address(), ENU_LAT_SQLSERVER, "sa", "demo"};
  ASSERT_EQ(engine_.ConnectServer(login), ENU_SCR_SUCCESSFUL);
  const int32_t db = DatabaseId("Ledger");
  ASSERT_NE(db, 0);
  // Every readable object of the database, of all four kinds.
  auto all = [&] {
    std::vector<UDT_OBJECT> objects;
    for (const auto& c : {engine_.GetStoredProcedures(db, vx::kTrue), engine_.GetTriggers(db, vx::kTrue),
                          engine_.GetUserDefinedFunctions(db, vx::kTrue), engine_.GetViews(db, vx::kTrue)})
      objects.insert(objects.end(), c.arrObjects.begin(), c.arrObjects.end());
    return objects;
  };
  auto read = [&](const UDT_OBJECT& o) {
    return engine_.GetSQLServerObject(db, o.lngID, o.enumObjectType, o.lngTableID);
  };
  const std::vector<UDT_OBJECT> plain = all();
  ASSERT_GE(plain.size(), 10u);
  std::map<std::string, UDT_OBJECT> before;
  for (const auto& o : plain) {
    SCOPED_TRACE(o.strObjectName);
    before[o.strOwnerName + "." + o.strObjectName] = read(o);
    vx::VbBool done = vx::kFalse;
    switch (o.enumObjectType) {
      case ENU_OBT_STORED_PROCEDURE: done = engine_.EncryptArchiveStoredProcedure(db, o.lngID); break;
      case ENU_OBT_TRIGGER: done = engine_.EncryptArchiveTrigger(db, o.lngID, o.lngTableID); break;
      case ENU_OBT_USER_DEFINED_FUNCTION: done = engine_.EncryptArchiveUserDefinedFunction(db, o.lngID); break;
      case ENU_OBT_VIEW: done = engine_.EncryptArchiveView(db, o.lngID); break;
    }
    EXPECT_EQ(done, vx::kTrue);
    EXPECT_NE(ErrorOf([&] { read(o); }), 0);  // encrypted: the server no longer shows it
    vx::VbBool exists = vx::kFalse;
    EXPECT_EQ(engine_.GetArchivedObject(db, o.lngID, exists).strScript,
              before[o.strOwnerName + "." + o.strObjectName].strScript);
    EXPECT_EQ(engine_.RestoreObject(db, o.lngID, o.strObjectName, o.strOwnerName, o.enumObjectType, vx::kFalse),
              ENU_RES_SUCCESSFUL);
  }
  EXPECT_EQ(engine_.GetErrorsExist(), vx::kFalse);
  size_t back = 0;
  for (const auto& o : all()) {
    const auto was = before.find(o.strOwnerName + "." + o.strObjectName);
    ASSERT_NE(was, before.end()) << o.strObjectName;
    EXPECT_EQ(read(o).strScript, was->second.strScript) << o.strObjectName;  // byte for byte
    ++back;
  }
  EXPECT_EQ(back, plain.size());
  vx::sqlserver::Credentials sa{false, "sa", "demo"};
  const auto grants = served.OpenSession(sa, "Ledger")->Execute(
      "SELECT COUNT(*) FROM sysprotects WHERE id = OBJECT_ID('dbo.AccountNames') AND action = 193");
  ASSERT_EQ(grants.FirstError(), nullptr);
  EXPECT_EQ(grants.resultSets.at(0).rows.at(0).at(0).AsInt64(), 1);

  // The server goes away: a folder fill reports the lost connection, not "cannot connect".
  server_.reset();
  std::string why;
  EXPECT_EQ(ErrorOf([&] { engine_.GetStoredProcedures(db, vx::kTrue); }, &why), vx::err::kServerConnection) << why;
}

TEST_F(EngineOverTds, ATextCutInsideCharactersIsArchivedAndRestoredByteForByte) {
  const std::string text = tds_test::StraddlingProcedure("dbo.Straddle");
  vx::sqlsim::SimServer::Open("VEXDEMO", folder_ + "served").RunScript(text + "\r\nGO\r\n", "Ledger");
  UDT_LOGIN_CREDENTIALS login{server_->Address(), ENU_LAT_SQLSERVER, "sa", "demo"};
  ASSERT_EQ(engine_.ConnectServer(login), ENU_SCR_SUCCESSFUL);
  const int32_t db = DatabaseId("Ledger");
  auto find = [&] {
    for (const auto& o : engine_.GetStoredProcedures(db, vx::kTrue).arrObjects)
      if (o.strObjectName == "Straddle") return o.lngID;
    return 0;
  };
  const int32_t id = find();
  ASSERT_NE(id, 0);
  auto read = [&](int32_t at) { return engine_.GetSQLServerObject(db, at, ENU_OBT_STORED_PROCEDURE, 0).strScript; };
  const std::string before = read(id);
  EXPECT_NE(before.find(text), std::string::npos);  // three rows over ODBC, joined whole
  ASSERT_EQ(engine_.EncryptArchiveStoredProcedure(db, id), vx::kTrue);
  vx::VbBool exists = vx::kFalse;
  EXPECT_EQ(engine_.GetArchivedObject(db, id, exists).strScript, before);
  EXPECT_EQ(engine_.RestoreObject(db, id, "Straddle", "dbo", ENU_OBT_STORED_PROCEDURE, vx::kFalse), ENU_RES_SUCCESSFUL);
  EXPECT_EQ(read(find()), before);  // re-created: a new id
  EXPECT_EQ(engine_.GetErrorsExist(), vx::kFalse);
}

TEST_F(EngineOverTds, ObjectListsShowTheDatesCreatedAsInProcess) {
  UDT_LOGIN_CREDENTIALS login{server_->Address(), ENU_LAT_SQLSERVER, "sa", "demo"};
  ASSERT_EQ(engine_.ConnectServer(login), ENU_SCR_SUCCESSFUL);
  const int32_t db = DatabaseId("Ledger");
  ASSERT_NE(db, 0);
  // What a session of the simulator in process reads, as the object lists show it.
  vx::sqlserver::Credentials sa;
  sa.login = "sa";
  sa.password = "demo";
  auto direct = vx::sqlsim::SimServer::Open("VEXDEMO", folder_ + "served").OpenSession(sa, "Ledger");
  size_t seen = 0;
  for (const auto& list : {engine_.GetStoredProcedures(db, vx::kTrue), engine_.GetTriggers(db, vx::kTrue),
                           engine_.GetUserDefinedFunctions(db, vx::kTrue), engine_.GetViews(db, vx::kTrue)})
    for (const auto& o : list.arrObjects) {
      const auto r = direct->Execute("SELECT crdate FROM sysobjects WHERE id = " + std::to_string(o.lngID));
      ASSERT_EQ(r.FirstError(), nullptr);
      EXPECT_EQ(o.strCreateDate, vx::DateToText(r.resultSets.at(0).rows.at(0).at(0).AsDate())) << o.strObjectName;
      ++seen;
    }
  EXPECT_GE(seen, 10u);
}

// Counts the logins of the simulated servers.
class CountingFactory : public vx::sqlsim::SimSessionFactory {
 public:
  std::unique_ptr<vx::sqlserver::Session> Open(const std::string& n, const vx::sqlserver::Credentials& c,
                                               const std::string& d) override {
    ++logins;
    return SimSessionFactory::Open(n, c, d);
  }
  int logins = 0;
};

TEST_F(EngineTest, FolderFillsNeedNoLoginOfTheirOwn) {
  MakeServer("VXSIM").RunScript("CREATE PROCEDURE Alpha AS select 1");
  auto counting = std::make_shared<CountingFactory>();
  engine_.SetSessionFactory(counting);
  Connect("VXSIM");
  const int afterConnect = counting->logins;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(engine_.GetStoredProcedures(1, vx::kTrue).lngElements, 1);
    EXPECT_EQ(engine_.GetEncryptedStoredProcedures(1, vx::kTrue).lngElements, 0);
    EXPECT_EQ(engine_.GetStoredProcedure(1, engine_.GetStoredProcedures(1, vx::kTrue).arrObjects[0].lngID).strObjectName,
              "Alpha");
  }
  EXPECT_EQ(counting->logins, afterConnect);
}

}  // namespace
