// Registered servers and the archive connection check.
#include <sys/wait.h>

#include "EngineTestSupport.h"
#include "archive/Connection.h"
#include "automation/ErrorNumbers.h"

namespace {

using engine_test::EngineTest;
using engine_test::ErrorOf;

class EngineRegisteredServers : public EngineTest {};

TEST_F(EngineRegisteredServers, RegisterReadUpdateAndCountKeepValuesAndNullsApart) {
  EXPECT_EQ(engine_.GetSQLServerCount(), 0);
  const std::string awkward = "p w;'x\"=y";
  EXPECT_EQ(engine_.RegisterSQLServer("Alpha", ENU_LAT_SQLSERVER, "sa", awkward), vx::kTrue);
  EXPECT_EQ(engine_.RegisterSQLServer("Beta", ENU_LAT_TRUSTED, "", ""), vx::kTrue);
  EXPECT_EQ(engine_.GetSQLServerCount(), 2);

  auto all = engine_.GetSQLServers();
  EXPECT_EQ(all.RecordCount(), 2);
  EXPECT_EQ(engine_.GetSQLServers("").RecordCount(), 2);
  auto alpha = engine_.GetSQLServers("alpha");  // names compare without case
  ASSERT_EQ(alpha.RecordCount(), 1);
  EXPECT_EQ(alpha.Field("SQLServerName").ToText(), "Alpha");
  EXPECT_EQ(alpha.Field("LoginAuthenticationType").ToLong(), 2);
  EXPECT_EQ(alpha.Field("Password").ToText(), awkward);

  // Registered with empty texts: empty texts. Updated with empty texts: Null.
  auto beta = engine_.GetSQLServers("Beta");
  EXPECT_FALSE(beta.Field("UserName").IsNull());
  EXPECT_EQ(beta.Field("UserName").ToText(), "");
  EXPECT_EQ(engine_.UpdateSQLServer("Beta", ENU_LAT_TRUSTED, "", ""), vx::kTrue);
  beta = engine_.GetSQLServers("Beta");
  EXPECT_TRUE(beta.Field("UserName").IsNull());
  EXPECT_TRUE(beta.Field("Password").IsNull());
  EXPECT_EQ(engine_.UpdateSQLServer("Alpha", ENU_LAT_SQLSERVER, "admin", "new"), vx::kTrue);
  EXPECT_EQ(engine_.GetSQLServers("Alpha").Field("UserName").ToText(), "admin");

  // Names that are not registered: True, nothing changes, empty row set.
  EXPECT_EQ(engine_.UpdateSQLServer("Gamma", ENU_LAT_TRUSTED, "", ""), vx::kTrue);
  EXPECT_EQ(engine_.UnregisterSQLServer("Gamma"), vx::kTrue);
  EXPECT_EQ(engine_.GetSQLServers("Gamma").RecordCount(), 0);
  EXPECT_EQ(engine_.UnregisterSQLServer("Alpha"), vx::kTrue);
  EXPECT_EQ(engine_.GetSQLServerCount(), 1);
}

TEST_F(EngineRegisteredServers, ARowSetStaysUsableAfterTheCallAndTheArchiveIsFree) {
  engine_.RegisterSQLServer("Alpha", ENU_LAT_TRUSTED, "", "");
  CVexilon::Recordset rs = engine_.GetSQLServers();
  // The archive connection is closed: another process may take the file now.
  pid_t child = ::fork();
  if (child == 0) {
    try {
      vx::archive::Connection c(AppConnectionString());
      ::_exit(0);
    } catch (...) {
      ::_exit(1);
    }
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  ASSERT_EQ(rs.RecordCount(), 1);
  EXPECT_EQ(rs.Field("SQLServerName").ToText(), "Alpha");
  rs.MoveNext();
  EXPECT_TRUE(rs.IsEOF());
}

TEST_F(EngineRegisteredServers, ArchiveConnectionCheckRaisesTheProvidersErrors) {
  EXPECT_EQ(engine_.CheckDatabaseArchiveConnection(), vx::kTrue);
  // Held by another process: 0x80004005, as the start-up check expects.
  int ready[2], release[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(release), 0);
  pid_t child = ::fork();
  if (child == 0) {
    vx::archive::Connection held(AppConnectionString());
    char c = 1;
    (void)!::write(ready[1], &c, 1);
    (void)!::read(release[0], &c, 1);
    ::_exit(0);
  }
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  EXPECT_EQ(ErrorOf([&] { engine_.CheckDatabaseArchiveConnection(); }), -2147467259);
  EXPECT_EQ(ErrorOf([&] { engine_.GetSQLServerCount(); }), -2147467259);
  (void)!::write(release[1], &c, 1);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_EQ(engine_.CheckDatabaseArchiveConnection(), vx::kTrue);

  CVexilon unset;  // no AppConnectionString: every archive member fails at the open
  EXPECT_EQ(ErrorOf([&] { unset.CheckDatabaseArchiveConnection(); }), vx::err::kArchiveConnectionString);
  EXPECT_EQ(ErrorOf([&] { unset.GetSQLServers(); }), vx::err::kArchiveConnectionString);
}

}  // namespace
