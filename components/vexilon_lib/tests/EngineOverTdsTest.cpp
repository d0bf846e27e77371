// The engine on a server reached over ODBC: the demo server built by its script,
// served over TDS by `sqlsim serve`, encrypted with archiving and restored; and
// the catalogue reads that ride on the server object's own session.
#include <map>

#include "EngineTestSupport.h"
#include "automation/ErrorNumbers.h"
#include "support/ServedServer.h"

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
  UDT_LOGIN_CREDENTIALS login{server_->Address(), ENU_LAT_SQLSERVER, "sa", "demo"};
  ASSERT_EQ(engine_.ConnectServer(login), ENU_SCR_SUCCESSFUL);
  const int32_t db = DatabaseId("Ledger");
  ASSERT_NE(db, 0);
  const auto procedures = engine_.GetStoredProcedures(db, vx::kTrue);
  const auto views = engine_.GetViews(db, vx::kTrue);
  ASSERT_GE(procedures.lngElements + views.lngElements, 5);
  std::map<int32_t, UDT_OBJECT> before;
  for (const auto& p : procedures.arrObjects) {
    before[p.lngID] = engine_.GetStoredProcedure(db, p.lngID);
    EXPECT_EQ(engine_.EncryptArchiveStoredProcedure(db, p.lngID), vx::kTrue) << p.strObjectName;
  }
  for (const auto& v : views.arrObjects) {
    before[v.lngID] = engine_.GetView(db, v.lngID);
    EXPECT_EQ(engine_.EncryptArchiveView(db, v.lngID), vx::kTrue) << v.strObjectName;
  }
  EXPECT_EQ(engine_.GetErrorsExist(), vx::kFalse);
  EXPECT_EQ(engine_.GetStoredProcedures(db, vx::kTrue).lngElements, 0);
  EXPECT_EQ(engine_.GetViews(db, vx::kTrue).lngElements, 0);

  for (const auto& [id, was] : before) {
    SCOPED_TRACE(was.strObjectName);
    vx::VbBool exists = vx::kFalse;
    EXPECT_EQ(engine_.GetArchivedObject(db, id, exists).strScript, was.strScript);
    EXPECT_EQ(engine_.RestoreObject(db, id, was.strObjectName, was.strOwnerName, was.enumObjectType, vx::kFalse),
              ENU_RES_SUCCESSFUL);
  }
  EXPECT_EQ(engine_.GetErrorsExist(), vx::kFalse);
  std::map<std::string, UDT_OBJECT> byName;
  for (const auto& [id, was] : before) byName[was.strOwnerName + "." + was.strObjectName] = was;
  size_t back = 0;
  auto compare = [&](const UDT_OBJECT& listed, const UDT_OBJECT& now) {
    const auto was = byName.find(listed.strOwnerName + "." + listed.strObjectName);
    ASSERT_NE(was, byName.end()) << listed.strObjectName;
    EXPECT_EQ(now.strScript, was->second.strScript) << listed.strObjectName;
    ++back;
  };
  for (const auto& p : engine_.GetStoredProcedures(db, vx::kTrue).arrObjects)
    compare(p, engine_.GetStoredProcedure(db, p.lngID));
  for (const auto& v : engine_.GetViews(db, vx::kTrue).arrObjects) compare(v, engine_.GetView(db, v.lngID));
  EXPECT_EQ(back, before.size());

  // The server goes away: a folder fill reports the lost connection, not "cannot connect".
  server_.reset();
  std::string why;
  EXPECT_EQ(ErrorOf([&] { engine_.GetStoredProcedures(db, vx::kTrue); }, &why), vx::err::kServerConnection) << why;
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
