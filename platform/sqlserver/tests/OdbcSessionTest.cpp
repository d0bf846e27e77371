// Sessions over ODBC through FreeTDS's driver to the simulator behind TDS
// (`sqlsim serve`): logins, batches, values, messages, transactions, and the
// ways a connection fails.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <thread>

#include "automation/ComError.h"
#include "sqlserver/ServerErrors.h"
#include "sqlserver_odbc/OdbcSessionFactory.h"
#include "sqlserver_tds/TdsListener.h"
#include "support/SimFixture.h"
#include "support/TdsEndpoints.h"

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

class OdbcSession : public SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    tds_test::IsolateOdbcConfig(folder_);
    served_ = std::make_unique<tds_test::ServedServer>(VX_SQLSIM, serverName_, folder_);
    OdbcOptions options;
    options.loginTimeoutSeconds = 2;
    options.queryTimeoutSeconds = 1;
    odbc_ = std::make_unique<OdbcSessionFactory>(options);
  }
  void TearDown() override {
    served_.reset();
    SimFixture::TearDown();
  }
  std::unique_ptr<Session> Open(const std::string& login = "sa", const std::string& database = "Sales") {
    return odbc_->Open(served_->Address(), Login(login), database);
  }

  std::unique_ptr<tds_test::ServedServer> served_;
  std::unique_ptr<OdbcSessionFactory> odbc_;
};

}  // namespace

TEST_F(OdbcSession, LoginsAndTheVersionFromTheDriver) {
  auto s = Open();
  EXPECT_TRUE(s->IsAlive());
  EXPECT_EQ(s->ServerVersion(), "8.00.2039");
  auto r = s->Execute("SELECT DB_NAME(), SUSER_SNAME()");
  ASSERT_EQ(r.resultSets.size(), 1u);
  EXPECT_EQ(r.resultSets[0].rows[0][0].AsText(), "Sales");
  EXPECT_EQ(r.resultSets[0].rows[0][1].AsText(), "sa");
  vx::sqlserver::Credentials wrong = Login("sa");
  wrong.password = "nope";
  EXPECT_EQ(ErrorNumber([&] { odbc_->Open(served_->Address(), wrong, ""); }), vx::err::kServerConnection);
  EXPECT_EQ(ErrorNumber([&] { Open("nouser_login"); }), vx::err::ServerMessage(4060));
}
