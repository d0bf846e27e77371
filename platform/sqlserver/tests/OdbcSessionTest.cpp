// Sessions over ODBC through FreeTDS's driver to the simulator behind TDS
// (`sqlsim serve`): logins, batches, values, messages, transactions, and the
// ways a connection fails.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "automation/ComError.h"
#include "sqlserver/ServerErrors.h"
#include "sqlserver/Utf16.h"
#include "sqlserver/SQLServer.h"
#include "sqlserver_connect/RoutingSessionFactory.h"
#include "sqlserver_odbc/OdbcSessionFactory.h"
#include "sqlserver_odbc/OdbcSources.h"
#include "sqlserver_tds/TdsListener.h"
#include "sqlserver_sim/SimServer.h"
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

TEST_F(OdbcSession, BatchesGiveTypedRowsNullsAndExactTexts) {
  auto s = Open();
  const std::string word = "Grüße, Ελληνικά, 東京 ✓ 𝄞";
  std::string longText;
  while (longText.size() < 9000) longText += word + " ";
  auto r = s->Execute("SELECT 7 AS i, 12345678901 AS big, 2.5 AS f, NULL AS n, N'" + word + "' AS t, N'" + longText +
                      "' AS longtext\nSELECT 'second' AS k");
  ASSERT_EQ(r.resultSets.size(), 2u);
  const auto& rs = r.resultSets[0];
  ASSERT_EQ(rs.columns.size(), 6u);
  EXPECT_EQ(rs.columns[0].name, "i");
  const auto& row = rs.rows.at(0);
  EXPECT_EQ(row[0], Value::Integer(7));
  EXPECT_EQ(row[1], Value::Integer(12345678901));
  EXPECT_EQ(row[2], Value::Float(2.5));
  EXPECT_TRUE(row[3].IsNull());
  EXPECT_EQ(row[4].AsText(), word);
  EXPECT_GT(vx::sqlserver::Utf8ToUtf16(longText).size(), 4000u);
  EXPECT_EQ(row[5].AsText(), longText);
  EXPECT_EQ(r.resultSets[1].rows.at(0)[0].AsText(), "second");
  // Dates arrive as the simulator keeps them, to the second.
  const std::string dates = "SELECT TOP 1 crdate FROM sysobjects ORDER BY id";
  const Value viaOdbc = s->Execute(dates).resultSets.at(0).rows.at(0)[0];
  const Value direct = Batch(dates).resultSets.at(0).rows.at(0)[0];
  EXPECT_EQ(viaOdbc.GetKind(), Value::Kind::DateTime);
  EXPECT_EQ(viaOdbc.AsText(), direct.AsText());
}

TEST_F(OdbcSession, ErrorsKeepTheirNumbersAndInformationStaysApart) {
  auto s = Open();
  struct Row {
    const char* batch;
    int32_t number;
    bool error;
  };
  for (const Row& row : {Row{"SELECT * FROM nowhere", 208, true}, Row{"ALTER PROCEDURE Missing AS select 1", 208, true},
                         Row{"PRINT 'hello there'", 0, false}}) {
    SCOPED_TRACE(row.batch);
    auto r = s->Execute(row.batch);
    ASSERT_FALSE(r.messages.empty());
    EXPECT_EQ(r.messages[0].number, row.number);
    EXPECT_EQ(r.messages[0].IsError(), row.error);
    EXPECT_EQ(r.FirstError() != nullptr, row.error);
  }
  EXPECT_EQ(s->Execute("PRINT 'hello there'").messages.at(0).text, "hello there");
  EXPECT_TRUE(s->IsAlive());
}

TEST_F(OdbcSession, TransactionsAreTextAcrossBatches) {
  auto s = Open();
  auto seen = [&](const char* name) {
    auto r = s->Execute(std::string("SELECT OBJECT_ID(N'") + name + "')");
    return !r.resultSets.at(0).rows.at(0)[0].IsNull();
  };
  for (const char* end : {"ROLLBACK TRANSACTION", "COMMIT TRANSACTION"}) {
    SCOPED_TRACE(end);
    ASSERT_EQ(s->Execute("BEGIN TRANSACTION").FirstError(), nullptr);
    ASSERT_EQ(s->Execute("CREATE PROCEDURE Temp AS select 1").FirstError(), nullptr);
    EXPECT_TRUE(seen("Temp"));
    ASSERT_EQ(s->Execute(end).FirstError(), nullptr);
    EXPECT_EQ(ObjectId("Temp") != 0, std::string(end) == "COMMIT TRANSACTION");
  }
  EXPECT_EQ(s->Execute("COMMIT TRANSACTION").FirstError()->number, 3902);
}

namespace {

// Sessions of the simulator that sleep on a batch holding "/*slow*/" and lose
// their connection on one holding "/*drop*/" (the listener then closes the socket).
class StallingSession : public Session {
 public:
  explicit StallingSession(std::unique_ptr<Session> inner) : inner_(std::move(inner)) {}
  BatchResult Execute(std::string_view batch) override {
    if (batch.find("/*slow*/") != std::string_view::npos) std::this_thread::sleep_for(std::chrono::seconds(3));
    if (batch.find("/*drop*/") != std::string_view::npos)
      throw vx::ComError(vx::err::kServerConnection, "test", "dropped");
    return inner_->Execute(batch);
  }
  bool IsAlive() const override { return inner_->IsAlive(); }
  const std::string& ServerName() const override { return inner_->ServerName(); }
  void Close() override { inner_->Close(); }

 private:
  std::unique_ptr<Session> inner_;
};

class StallingFactory : public vx::sqlsim::SimSessionFactory {
 public:
  using SimSessionFactory::SimSessionFactory;
  std::unique_ptr<Session> Open(const std::string& n, const Credentials& c, const std::string& d) override {
    return std::make_unique<StallingSession>(SimSessionFactory::Open(n, c, d));
  }
};

// A port nobody listens on, and a listener that accepts and never answers.
int ClosedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  close(fd);
  return ntohs(a.sin_port);
}

}  // namespace

TEST_F(OdbcSession, ConnectionFailures) {
  // Nothing listens: at once, as an unreachable server.
  auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(ErrorNumber([&] { odbc_->Open("127.0.0.1," + std::to_string(ClosedPort()), Login("sa"), ""); }),
            vx::err::kServerUnreachable);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));

  // A listener that never answers: the login timeout ends the wait.
  const int silent = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  bind(silent, reinterpret_cast<sockaddr*>(&a), sizeof a);
  listen(silent, 4);
  getsockname(silent, reinterpret_cast<sockaddr*>(&a), &len);
  int accepted = -1;
  std::thread acceptor([&] { accepted = accept(silent, nullptr, nullptr); });
  started = std::chrono::steady_clock::now();
  EXPECT_EQ(ErrorNumber([&] { odbc_->Open("127.0.0.1," + std::to_string(ntohs(a.sin_port)), Login("sa"), ""); }),
            vx::err::kServerUnreachable);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(8));
  acceptor.join();
  EXPECT_GE(accepted, 0);
  close(accepted);
  close(silent);

  // A batch beyond the query timeout, a socket dropped in the middle of a batch,
  // and a session the simulator breaks: each is a lost connection, and the session is over.
  vx::tds::TdsListener listener(std::make_shared<StallingFactory>(folder_), serverName_);
  listener.Start();
  const std::string address = "127.0.0.1," + std::to_string(listener.Port());
  struct Row {
    const char* name;
    const char* batch;
  };
  for (const Row& row : {Row{"timeout", "/*slow*/ SELECT 1"}, Row{"dropped", "/*drop*/ SELECT 1"},
                         Row{"broken", "SELECT 1"}}) {
    SCOPED_TRACE(row.name);
    auto s = odbc_->Open(address, Login("sa"), "Sales");
    ASSERT_EQ(s->Execute("SELECT 1").FirstError(), nullptr);
    if (std::string(row.name) == "broken") server_->BreakSessions();
    started = std::chrono::steady_clock::now();
    EXPECT_EQ(ErrorNumber([&] { s->Execute(row.batch); }), vx::err::kServerConnection);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
    EXPECT_FALSE(s->IsAlive());
    EXPECT_EQ(ErrorNumber([&] { s->Execute("SELECT 1"); }), vx::err::kServerConnection);
  }
  listener.Stop();
}

TEST_F(OdbcSession, ServerNamesAsUsersTypeThem) {
  std::ofstream(folder_ + "/freetds.conf") << "[global]\n[PAYROLL]\n  host = 127.0.0.1\n";
  std::ofstream(folder_ + "/odbc.ini") << "[Warehouse]\nDriver = FreeTDS\nServer = 127.0.0.1\n"
                                       << "[Notes]\nDriver = /usr/lib/x86_64-linux-gnu/odbc/libsqliteodbc.so\n";
  OdbcOptions options;
  options.driver = "/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so";
  OdbcSessionFactory f(options);
  Credentials sa = Login("sa");
  const std::string common = "UID=sa;PWD=*;APP=Vexilon;TDS_Version=7.1;ClientCharset=UTF-8;";
  const std::string driver = "DRIVER=" + options.driver + ";";
  struct Row {
    const char* typed;
    std::string expected;
  };
  for (const Row& row : {Row{"dbhost", driver + "SERVER=dbhost;" + common},
                         Row{"dbhost\\SALES", driver + "SERVER=dbhost\\SALES;" + common},
                         Row{"dbhost,1533", driver + "SERVER=dbhost;PORT=1533;" + common},
                         Row{"payroll", driver + "SERVERNAME=payroll;" + common},
                         Row{"Warehouse", "DSN=Warehouse;" + common}}) {
    SCOPED_TRACE(row.typed);
    EXPECT_EQ(f.ConnectionText(row.typed, sa, ""), row.expected);
  }
  Credentials trusted;
  trusted.trusted = true;
  EXPECT_EQ(f.ConnectionText("dbhost", trusted, "Sales"),
            driver + "SERVER=dbhost;Trusted_Connection=Yes;DATABASE=Sales;APP=Vexilon;TDS_Version=7.1;ClientCharset=UTF-8;");
  // A data source of SQLite's driver is neither listed nor ever loaded.
  EXPECT_EQ(OdbcSources::DataSources(), std::vector<std::string>{"Warehouse"});
  EXPECT_EQ(ErrorNumber([&] { f.Open("Notes", sa, ""); }), vx::err::kServerUnreachable);
}

TEST_F(OdbcSession, TheDefaultFactoryPicksTheSimulatorByNameAndOdbcOtherwise) {
  vx::sqlsim::ServerOptions seven;
  seven.versionMajor = 7;
  seven.saPassword = "sa-pw";
  vx::sqlsim::SimServer::Create("OLDONE", seven);
  tds_test::ServedServer old(VX_SQLSIM, "OLDONE", folder_);
  RoutingSessionFactory routing;
  auto simulated = routing.Open(serverName_, Login("sa"), "");
  EXPECT_EQ(simulated->ServerVersion(), "");  // the simulator's own session
  auto network = routing.Open(served_->Address(), Login("sa"), "");
  EXPECT_EQ(network->ServerVersion(), "8.00.2039");
  // The version comes from the driver, so an older server still tells it.
  SQLServer s(std::make_shared<RoutingSessionFactory>());
  s.Connect(old.Address(), std::string("sa"), std::string("sa-pw"));
  EXPECT_EQ(s.VersionMajor(), 7);
}
