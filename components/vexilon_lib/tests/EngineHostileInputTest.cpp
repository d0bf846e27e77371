// Odd and hostile input reaching the engine: credentials and server names that
// a connection string would read otherwise.
#include "EngineTestSupport.h"

namespace {

using engine_test::EngineTest;

class EngineHostileInput : public EngineTest {};

TEST_F(EngineHostileInput, CredentialsAndServerNamesSurviveTheCatalogueConnectionString) {
  struct Case {
    const char* server;
    const char* login;
    const char* password;
  };
  for (const Case c : {Case{"VXSIM", "odd", "\tpw"}, Case{"VXSIM", "odd", "pw\t"}, Case{"VXSIM", "odd", "pw\n"},
                       Case{"VXSIM", " odd\r", " pw "}, Case{"X[INITIAL_CATALOG]", "odd", "secret"}}) {
    auto server = MakeServer(c.server);
    server.AddSqlLogin(c.login, c.password, "master", true);
    const int32_t db = server.CreateDatabase("Sales");
    server.RunScript("CREATE PROCEDURE p AS SELECT 1\nGO\n", "Sales");
    UDT_LOGIN_CREDENTIALS login{c.server, ENU_LAT_SQLSERVER, c.login, c.password};
    ASSERT_EQ(engine_.ConnectServer(login), ENU_SCR_SUCCESSFUL) << c.server << "/" << c.password;
    EXPECT_EQ(engine_.GetStoredProcedures(db, vx::kTrue).lngElements, 1) << c.server << "/" << c.password;
    engine_.DisconnectSQLServer();
    vx::sqlsim::SimServer::Remove(c.server, simFolder_);
  }
}

}  // namespace
