// Connecting to a server: results, the connection string, access to databases.
#include "EngineTestSupport.h"
#include "automation/ErrorNumbers.h"
#include "sqlserver/ConnectionString.h"
#include "sqlserver/SQLServer.h"

namespace {

using engine_test::EngineTest;
using engine_test::ErrorOf;

class EngineConnection : public EngineTest {};

TEST_F(EngineConnection, SqlAndTrustedLoginsBuildTheirConnectionStrings) {
  MakeServer("VXSIM");
  UDT_LOGIN_CREDENTIALS sql{"VXSIM", ENU_LAT_SQLSERVER, "vx", "secret"};
  EXPECT_EQ(engine_.ConnectServer(sql), ENU_SCR_SUCCESSFUL);
  ASSERT_TRUE(engine_.GetSQLServer());
  EXPECT_EQ(engine_.GetSQLServerConnectionString(),
            "Provider=SQLOLEDB;Data Source=VXSIM;Initial Catalog=[INITIAL_CATALOG];User Id=vx ;Password=secret");
  EXPECT_FALSE(engine_.GetSQLServer()->LoginSecure());

  UDT_LOGIN_CREDENTIALS trusted{"VXSIM", ENU_LAT_TRUSTED, "ignored", "ignored"};
  EXPECT_EQ(engine_.ConnectServer(trusted), ENU_SCR_SUCCESSFUL);
  EXPECT_TRUE(engine_.GetSQLServer()->LoginSecure());
  EXPECT_EQ(engine_.GetSQLServerConnectionString(),
            "Provider=SQLOLEDB;Data Source=VXSIM;Initial Catalog=[INITIAL_CATALOG];Integrated Security=SSPI");
}

TEST_F(EngineConnection, ValuesWithSemicolonsOrQuotesCannotInjectKeys) {
  auto server = MakeServer("VXSIM");
  const std::string password = "a;Integrated Security=SSPI;\"x'";
  server.AddSqlLogin("odd;user", password, "master", true);
  UDT_LOGIN_CREDENTIALS c{"VXSIM", ENU_LAT_SQLSERVER, "odd;user", password};
  ASSERT_EQ(engine_.ConnectServer(c), ENU_SCR_SUCCESSFUL);
  auto parsed = vx::sqlserver::ConnectionString::Parse(engine_.GetSQLServerConnectionString());
  EXPECT_EQ(parsed.userId, "odd;user");
  EXPECT_EQ(parsed.password, password);
  EXPECT_FALSE(parsed.integratedSecurity);
  EXPECT_EQ(parsed.initialCatalog, "[INITIAL_CATALOG]");
  // And the catalogue connection built from it works.
  EXPECT_GE(engine_.GetStoredProcedures(1, vx::kFalse).lngElements, 0);
}

TEST_F(EngineConnection, FailuresGiveTheirResultAndLeaveNoServerObject) {
  MakeServer("VXSIM");
  MakeServer("OLDSIM", 7);
  MakeServer("NEWSIM", 9);
  UDT_LOGIN_CREDENTIALS good{"VXSIM", ENU_LAT_SQLSERVER, "vx", "secret"};
  ASSERT_EQ(engine_.ConnectServer(good), ENU_SCR_SUCCESSFUL);
  const std::string kept = engine_.GetSQLServerConnectionString();

  UDT_LOGIN_CREDENTIALS badPassword{"VXSIM", ENU_LAT_SQLSERVER, "vx", "wrong"};
  EXPECT_EQ(engine_.ConnectServer(badPassword), ENU_SCR_ACCESS_DENIED);
  EXPECT_FALSE(engine_.GetSQLServer());
  EXPECT_EQ(engine_.GetSQLServerConnectionString(), kept);

  UDT_LOGIN_CREDENTIALS nowhere{"NOSUCHSERVER", ENU_LAT_SQLSERVER, "vx", "secret"};
  EXPECT_EQ(engine_.ConnectServer(nowhere), ENU_SCR_UNABLE_TO_CONNECT);
  EXPECT_FALSE(engine_.GetSQLServer());

  for (const char* name : {"OLDSIM", "NEWSIM"}) {
    UDT_LOGIN_CREDENTIALS other{name, ENU_LAT_SQLSERVER, "vx", "secret"};
    EXPECT_EQ(engine_.ConnectServer(other), ENU_SCR_WRONG_SERVER_VERSION) << name;
    EXPECT_FALSE(engine_.GetSQLServer());
  }
  EXPECT_EQ(engine_.GetSQLServerConnectionString(), kept);

  // A login of no known kind (the explorer's empty credentials have kind 0)
  // cannot connect: a result, not an error, and no server object.
  for (int kind : {0, 3}) {
    UDT_LOGIN_CREDENTIALS odd{"VXSIM", static_cast<ENU_LOGIN_AUTHENTICATION_TYPES>(kind), "vx", "secret"};
    ENU_SERVER_CONNECTION_RESPONSES result = ENU_SCR_SUCCESSFUL;
    EXPECT_EQ(ErrorOf([&] { result = engine_.ConnectServer(odd); }), 0) << kind;
    EXPECT_EQ(result, ENU_SCR_UNABLE_TO_CONNECT) << kind;
    EXPECT_FALSE(engine_.GetSQLServer());
  }
}

TEST_F(EngineConnection, DisconnectAndSharingTheServerObject) {
  MakeServer("VXSIM");
  Connect("VXSIM");
  // Another engine works on the same connection through the two lets.
  CVexilon second;
  second.SetAppConnectionString(AppConnectionString());
  second.SetSQLServer(engine_.GetSQLServer());
  second.SetSQLServerConnectionString(engine_.GetSQLServerConnectionString());
  EXPECT_EQ(second.GetSQLServer(), engine_.GetSQLServer());
  EXPECT_GT(second.GetDatabases(vx::kFalse).lngElements, 0);

  engine_.DisconnectSQLServer();
  EXPECT_FALSE(engine_.GetSQLServer());
  EXPECT_EQ(ErrorOf([&] { engine_.DisconnectSQLServer(); }), 0);
  EXPECT_EQ(ErrorOf([&] { engine_.GetDatabases(vx::kFalse); }), vx::err::kObjectNotSet);

  engine_.SetErrorsExist(vx::kTrue);
  EXPECT_EQ(engine_.GetErrorsExist(), vx::kTrue);
}

TEST_F(EngineConnection, DatabaseAccessAndPermissionsFollowTheLoginsRoles) {
  auto server = MakeServer("VXSIM");
  const int32_t sales = server.CreateDatabase("Sales");
  const int32_t hidden = server.CreateDatabase("Hidden");
  server.AddSqlLogin("ddl", "pw");
  server.AddSqlLogin("plain", "pw");
  server.AddUser("Sales", "ddl", "ddl");
  server.AddRoleMember("Sales", "db_ddladmin", "ddl");
  server.AddUser("Sales", "plain", "plain");

  UDT_LOGIN_CREDENTIALS ddl{"VXSIM", ENU_LAT_SQLSERVER, "ddl", "pw"};
  ASSERT_EQ(engine_.ConnectServer(ddl), ENU_SCR_SUCCESSFUL);
  EXPECT_EQ(engine_.HasLoginDatabaseAccess(sales), vx::kTrue);
  EXPECT_EQ(engine_.CheckDatabasePermissions(sales), vx::kTrue);
  EXPECT_EQ(engine_.HasLoginDatabaseAccess(hidden), vx::kFalse);
  EXPECT_EQ(engine_.HasLoginDatabaseAccess(9999), vx::kFalse);
  EXPECT_NE(ErrorOf([&] { engine_.CheckDatabasePermissions(9999); }), 0);

  UDT_LOGIN_CREDENTIALS plain{"VXSIM", ENU_LAT_SQLSERVER, "plain", "pw"};
  ASSERT_EQ(engine_.ConnectServer(plain), ENU_SCR_SUCCESSFUL);
  EXPECT_EQ(engine_.HasLoginDatabaseAccess(sales), vx::kTrue);
  EXPECT_EQ(engine_.CheckDatabasePermissions(sales), vx::kFalse);

  // A connection that is gone reaches no database: False, not an error.
  engine_.GetSQLServer()->DisConnect();
  vx::VbBool access = vx::kTrue;
  EXPECT_EQ(ErrorOf([&] { access = engine_.HasLoginDatabaseAccess(sales); }), 0);
  EXPECT_EQ(access, vx::kFalse);
}

}  // namespace
