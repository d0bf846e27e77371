// Whatever a user types as server, login or password reaches `sqlsim serve`
// over FreeTDS's ODBC driver unchanged, or is refused before any connection;
// and nothing typed becomes a keyword of the connection string: a second
// listener, whose port the typed text names, never sees a connection.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>

#include "automation/ComError.h"
#include "sqlserver_odbc/OdbcSessionFactory.h"
#include "sqlserver_odbc/OdbcSources.h"
#include "support/ServedServer.h"
#include "support/SimFixture.h"

using namespace vx::sqlserver;

namespace {

struct Typed {
  const char* name;
  std::string server;  // "" for the served address; <P> stands for its port, <Q> for the other listener's
  std::string login;
  std::string password;
  bool refused;
};

std::ostream& operator<<(std::ostream& o, const Typed& t) { return o << t.name; }

std::string Fill(std::string text, int p, int q) {
  for (auto [mark, port] : {std::pair{"<P>", p}, std::pair{"<Q>", q}})
    for (size_t at; (at = text.find(mark)) != std::string::npos;) text.replace(at, 3, std::to_string(port));
  return text;
}

// FreeTDS finds no freetds.conf entry named with quotes, braces or beyond ASCII, and
// no data source named beyond ASCII.
const char* kEntry = "Bureau 2 x";
const char* kDataSource = "L'a\"ger";

class OdbcTypedLogin : public SimFixture, public ::testing::WithParamInterface<Typed> {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    tds_test::IsolateOdbcConfig(folder_);
    served_ = std::make_unique<tds_test::ServedServer>(VX_SQLSIM, serverName_, folder_);
    std::ofstream(folder_ + "/freetds.conf") << "[global]\n[" << kEntry << "]\n  host = 127.0.0.1\n  port = "
                                             << served_->Port() << "\n";
    std::ofstream(folder_ + "/odbc.ini") << "[" << kDataSource << "]\nDriver = " << OdbcSources::DefaultDriver()
                                         << "\nServer = 127.0.0.1\nPort = " << served_->Port() << "\n";
    // The other listener: connections would wait in its backlog.
    other_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(bind(other_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(other_, 8), 0);
    getsockname(other_, reinterpret_cast<sockaddr*>(&a), &len);
    otherPort_ = ntohs(a.sin_port);
  }
  void TearDown() override {
    close(other_);
    served_.reset();
    SimFixture::TearDown();
  }
  bool OtherSawAConnection() const {
    pollfd p{other_, POLLIN, 0};
    return poll(&p, 1, 0) > 0;
  }

  std::unique_ptr<tds_test::ServedServer> served_;
  int other_ = -1;
  int otherPort_ = 0;
};

TEST_P(OdbcTypedLogin, ReachesTheServerUnchangedOrIsRefusedBeforeConnecting) {
  const Typed& t = GetParam();
  const std::string login = Fill(t.login, served_->Port(), otherPort_);
  const std::string password = Fill(t.password, served_->Port(), otherPort_);
  const std::string server = t.server.empty() ? served_->Address() : Fill(t.server, served_->Port(), otherPort_);
  server_->AddSqlLogin(login, password);
  OdbcOptions options;
  options.loginTimeoutSeconds = 2;
  OdbcSessionFactory odbc(options);
  Credentials typed;
  typed.login = login;
  typed.password = password;
  if (t.refused) {
    try {
      odbc.Open(server, typed, "");
      ADD_FAILURE() << "connected";
    } catch (const vx::ComError& e) {
      EXPECT_NE(e.Description().find("cannot be given to the ODBC driver"), std::string::npos) << e.Description();
    }
  } else {
    auto s = odbc.Open(server, typed, "");
    const auto r = s->Execute("SELECT SUSER_SNAME()");
    ASSERT_EQ(r.resultSets.size(), 1u);
    EXPECT_EQ(r.resultSets[0].rows.at(0)[0].AsText(), login);
  }
  EXPECT_FALSE(OtherSawAConnection());
}

INSTANTIATE_TEST_SUITE_P(
    Typed, OdbcTypedLogin,
    ::testing::Values(Typed{"BracesInLoginAndPassword", "", "a{b}c", "p}w", false},
                      Typed{"SemicolonsAndEqualSigns", "", "x;PORT=<Q>;y", "z;PORT=<Q>", false},
                      Typed{"BracketsAndQuotes", "", "[o'n\"e]", "'\"[]=", false},
                      Typed{"BlanksAtBothEnds", "", " pad ", "  two  ", false},
                      Typed{"NonAscii", "", "Jürgen", "пароль ✓ 𝄞", false},
                      Typed{"LoginClosingItsBraces", "", "sa}};PORT=<Q>;X={", "sa-pw", true},
                      Typed{"PasswordClosingItsBraces", "", "vx", "x};PORT=<Q>;PWD={", true},
                      Typed{"PasswordOpeningAndClosingBraces", "", "vx", "{x}", true},
                      Typed{"ServerWithAPortAfterASemicolon", "127.0.0.1,<P>;PORT=<Q>", "vx", "pw", false},
                      Typed{"ServerClosingItsBraces", "}};DSN=x;SERVER=127.0.0.1;PORT=<Q>;X={", "vx", "pw", true},
                      Typed{"ServerEntryWithBlanks", kEntry, "vx", "pw", false},
                      Typed{"DataSourceWithQuotes", kDataSource, "vx", "pw", false},
                      Typed{"ServerWithBlanksAtBothEnds", " 127.0.0.1,<P> ", "vx", "pw", true}),
    [](const ::testing::TestParamInfo<Typed>& info) { return std::string(info.param.name); });

}  // namespace
