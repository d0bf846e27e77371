// What `sqlsim serve` answers besides SQL batches, seen through FreeTDS's ODBC
// driver called directly (the program's own session sends batches only):
// procedure calls (RPC) with typed, output and return values, messages in their
// place among result sets; and how the listener holds up at its limits.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sql.h>
#include <sqlext.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <thread>

#include "sqlserver_odbc/OdbcSources.h"
#include "sqlserver_sim/SimServer.h"
#include "sqlserver_tds/TdsListener.h"
#include "support/ServedServer.h"
#include "support/SimFixture.h"

namespace {

// One ODBC connection through FreeTDS, and a transcript of what a statement gives back.
class Client {
 public:
  explicit Client(int port) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
    SQLSetConnectAttr(dbc_, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(5), 0);
    const std::string cs = "DRIVER={" + vx::sqlserver::OdbcSources::DefaultDriver() +
                           "};SERVER=127.0.0.1;PORT=" + std::to_string(port) +
                           ";UID=sa;PWD=sa-pw;DATABASE=Sales;TDS_Version=7.1;ClientCharset=UTF-8";
    SQLCHAR out[512];
    SQLSMALLINT outLength = 0;
    connected_ = SQL_SUCCEEDED(SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)cs.c_str(), SQL_NTS, out, sizeof out,
                                                &outLength, SQL_DRIVER_NOPROMPT));
    if (!connected_) error_ = Diag(SQL_HANDLE_DBC, dbc_);
  }
  ~Client() {
    if (connected_) SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }
  bool Connected() const { return connected_; }
  const std::string& Error() const { return error_; }
  SQLHDBC Dbc() const { return dbc_; }

  static std::string Diag(SQLSMALLINT type, SQLHANDLE h) {
    std::string all;
    SQLCHAR state[6], text[1024];
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    for (SQLSMALLINT i = 1; SQL_SUCCEEDED(SQLGetDiagRec(type, h, i, state, &native, text, sizeof text, &length)); ++i) {
      std::string t(reinterpret_cast<char*>(text));
      if (const size_t p = t.rfind(']'); p != std::string::npos) t = t.substr(p + 1);
      all += (all.empty() ? "" : " ") + t;
    }
    return all;
  }
  // "info:<messages>", "error:<messages>", "row:a|b" and "next" for each further result.
  static std::string Transcript(SQLHSTMT st, SQLRETURN rc) {
    std::string out;
    for (bool first = true;; first = false) {
      if (rc == SQL_NO_DATA) break;
      if (!first) out += "next;";
      if (rc == SQL_ERROR) return out + "error:" + Diag(SQL_HANDLE_STMT, st) + ";";
      if (rc == SQL_SUCCESS_WITH_INFO) out += "info:" + Diag(SQL_HANDLE_STMT, st) + ";";
      SQLSMALLINT columns = 0;
      SQLNumResultCols(st, &columns);
      while (columns > 0 && SQL_SUCCEEDED(SQLFetch(st))) {
        out += "row:";
        for (SQLUSMALLINT c = 1; c <= columns; ++c) {
          char cell[256] = {};
          SQLLEN length = 0;
          SQLGetData(st, c, SQL_C_CHAR, cell, sizeof cell, &length);
          out += (c > 1 ? "|" : "") + (length == SQL_NULL_DATA ? std::string("NULL") : std::string(cell));
        }
        out += ";";
      }
      rc = SQLMoreResults(st);
    }
    return out;
  }

 private:
  SQLHENV env_ = SQL_NULL_HANDLE;
  SQLHDBC dbc_ = SQL_NULL_HANDLE;
  bool connected_ = false;
  std::string error_;
};

struct Statement {
  explicit Statement(SQLHDBC dbc) { SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h); }
  ~Statement() { SQLFreeHandle(SQL_HANDLE_STMT, h); }
  void BindInt(SQLUSMALLINT i, SQLINTEGER& v, SQLSMALLINT io = SQL_PARAM_INPUT) {
    SQLBindParameter(h, i, io, SQL_C_SLONG, SQL_INTEGER, 0, 0, &v, 0, nullptr);
  }
  void BindText(SQLUSMALLINT i, char* v, SQLLEN& length, SQLSMALLINT io = SQL_PARAM_INPUT) {
    SQLBindParameter(h, i, io, SQL_C_CHAR, SQL_WVARCHAR, 40, 0, v, 40, &length);
  }
  SQLHSTMT h = SQL_NULL_HANDLE;
};

struct RpcRow {
  const char* name;
  std::function<std::string(SQLHDBC)> run;
  const char* expected;
};

void PrintTo(const RpcRow& row, std::ostream* os) { *os << row.name; }

class TdsRequests : public SimFixture, public ::testing::WithParamInterface<RpcRow> {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    tds_test::IsolateOdbcConfig(folder_);
    Run("CREATE PROCEDURE dbo.Tally @n int, @label nvarchar(40) OUTPUT AS SELECT 1");
  }
};

}  // namespace

TEST_P(TdsRequests, ProcedureCallsAndMessages) {
  tds_test::ServedServer served(VX_SQLSIM, serverName_, folder_);
  Client client(served.Port());
  ASSERT_TRUE(client.Connected()) << client.Error();
  EXPECT_EQ(GetParam().run(client.Dbc()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rpc, TdsRequests,
    ::testing::Values(
        // SQLExecDirect with parameters: sp_executesql; a quote in a value stays in the value.
        RpcRow{"ExecuteSql",
               [](SQLHDBC dbc) {
                 Statement st(dbc);
                 char name[41] = "Tally", quote[41] = "x' OR 1=1 --";
                 SQLLEN nameLength = SQL_NTS, quoteLength = SQL_NTS;
                 SQLINTEGER seven = 7, id = 0;
                 const char* sql = "SELECT name, ? FROM sysobjects WHERE name = ? AND id > ?";
                 st.BindInt(1, seven);
                 st.BindText(2, name, nameLength);
                 st.BindInt(3, id);
                 std::string out = Client::Transcript(st.h, SQLExecDirect(st.h, (SQLCHAR*)sql, SQL_NTS));
                 SQLFreeStmt(st.h, SQL_CLOSE);
                 st.BindText(2, quote, quoteLength);
                 return out + Client::Transcript(st.h, SQLExecDirect(st.h, (SQLCHAR*)sql, SQL_NTS));
               },
               "row:Tally|7;"},
        // A call of sp_executesql itself: the values are converted to the declared types.
        RpcRow{"ExecuteSqlConvertsToDeclaredTypes",
               [](SQLHDBC dbc) {
                 Statement st(dbc);
                 char sql[41] = "SELECT @s + '|', @i + 1", declared[41] = "@s varchar(2), @i int", s[41] = "abc",
                      i[41] = "41";
                 SQLLEN lengths[4] = {SQL_NTS, SQL_NTS, SQL_NTS, SQL_NTS};
                 char* values[4] = {sql, declared, s, i};
                 for (SQLUSMALLINT k = 0; k < 4; ++k) st.BindText(k + 1, values[k], lengths[k]);
                 const char* call = "{call sp_executesql(?, ?, ?, ?)}";
                 std::string out = Client::Transcript(st.h, SQLExecDirect(st.h, (SQLCHAR*)call, SQL_NTS));
                 SQLFreeStmt(st.h, SQL_CLOSE);
                 std::snprintf(i, sizeof i, "x");
                 return out + Client::Transcript(st.h, SQLExecDirect(st.h, (SQLCHAR*)call, SQL_NTS));
               },
               "row:ab||42;error:Error converting data type nvarchar to int.;"},
        // SQLPrepare, then SQLExecute twice: sp_prepexec, then sp_execute on its handle.
        RpcRow{"PrepExecThenExecute",
               [](SQLHDBC dbc) {
                 Statement st(dbc);
                 SQLINTEGER n = 0;
                 st.BindInt(1, n);
                 SQLPrepare(st.h, (SQLCHAR*)"SELECT ? + 1", SQL_NTS);
                 std::string out;
                 for (SQLINTEGER v : {41, 99}) {
                   n = v;
                   out += Client::Transcript(st.h, SQLExecute(st.h));
                   SQLFreeStmt(st.h, SQL_CLOSE);
                 }
                 return out;
               },
               "row:42;row:100;"},
        // Described before it runs: sp_prepare, then sp_execute.
        RpcRow{"PrepareThenExecute",
               [](SQLHDBC dbc) {
                 Statement st(dbc);
                 SQLINTEGER n = 5;
                 st.BindInt(1, n);
                 SQLPrepare(st.h, (SQLCHAR*)"SELECT ? * 2 AS twice", SQL_NTS);
                 SQLCHAR column[64] = {};
                 SQLSMALLINT length = 0;
                 SQLDescribeCol(st.h, 1, column, sizeof column, &length, nullptr, nullptr, nullptr, nullptr);
                 return Client::Transcript(st.h, SQLExecute(st.h));
               },
               "row:10;"},
        // A freed statement is unprepared: its handle is gone from the server.
        RpcRow{"Unprepare",
               [](SQLHDBC dbc) {
                 {
                   Statement st(dbc);
                   SQLINTEGER n = 1;
                   st.BindInt(1, n);
                   SQLPrepare(st.h, (SQLCHAR*)"SELECT ?", SQL_NTS);
                   Client::Transcript(st.h, SQLExecute(st.h));
                 }
                 Statement st(dbc);
                 SQLINTEGER handle = 1;
                 st.BindInt(1, handle);
                 return Client::Transcript(st.h, SQLExecDirect(st.h, (SQLCHAR*)"{call sp_execute(?)}", SQL_NTS));
               },
               "error:Could not find prepared statement with handle 1.;"},
        // A user procedure by name: the simulator keeps its body without running it, so the
        // call is refused; no return status comes back, and the output parameter keeps its value.
        RpcRow{"ProcedureByName",
               [](SQLHDBC dbc) {
                 Statement st(dbc);
                 SQLINTEGER status = -1, n = 3;
                 char label[41] = "Kept";
                 SQLLEN labelLength = SQL_NTS;
                 st.BindInt(1, status, SQL_PARAM_OUTPUT);
                 st.BindInt(2, n);
                 st.BindText(3, label, labelLength, SQL_PARAM_INPUT_OUTPUT);
                 std::string out = Client::Transcript(
                     st.h, SQLExecDirect(st.h, (SQLCHAR*)"{? = call dbo.Tally(?, ?)}", SQL_NTS));
                 return out + "status:" + std::to_string(status) + ";label:" + label + ";";
               },
               "error:Running procedure 'Tally' is not supported by the simulated server: it keeps procedure "
               "bodies without running them.;status:-1;label:Kept;"},
        // Its arguments are checked first, as the server checks them.
        RpcRow{"TooManyArguments",
               [](SQLHDBC dbc) {
                 Statement st(dbc);
                 SQLINTEGER n = 3;
                 st.BindInt(1, n);
                 st.BindInt(2, n);
                 st.BindInt(3, n);
                 return Client::Transcript(st.h,
                                           SQLExecDirect(st.h, (SQLCHAR*)"{call dbo.Tally(?, ?, ?)}", SQL_NTS));
               },
               "error:Procedure or function Tally has too many arguments specified.;"},
        RpcRow{"NotAParameter",
               [](SQLHDBC dbc) {
                 Statement st(dbc);
                 SQLINTEGER n = 3;
                 st.BindInt(1, n);
                 return Client::Transcript(st.h,
                                           SQLExecDirect(st.h, (SQLCHAR*)"{call dbo.Tally(@count = ?)}", SQL_NTS));
               },
               "error:@count is not a parameter for procedure Tally.;"},
        // A datetime and a varbinary parameter come back with their types and values.
        RpcRow{"TypedParameters",
               [](SQLHDBC dbc) {
                 Statement st(dbc);
                 SQL_TIMESTAMP_STRUCT when{2024, 2, 29, 13, 45, 10, 0};
                 unsigned char bytes[3] = {0x01, 0x02, 0xFF};
                 SQLLEN length = 3;
                 SQLBindParameter(st.h, 1, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 23, 3, &when, 0,
                                  nullptr);
                 SQLBindParameter(st.h, 2, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_VARBINARY, 8000, 0, bytes, 3, &length);
                 const SQLRETURN rc = SQLExecDirect(st.h, (SQLCHAR*)"SELECT ?, ?", SQL_NTS);
                 std::string types = "types:";
                 for (SQLUSMALLINT c = 1; c <= 2; ++c) {
                   SQLSMALLINT type = 0;
                   SQLDescribeCol(st.h, c, nullptr, 0, nullptr, &type, nullptr, nullptr, nullptr);
                   types += std::to_string(type) + (c == 1 ? "," : ";");
                 }
                 return types + Client::Transcript(st.h, rc);
               },
               "types:93,-3;row:2024-02-29 13:45:10.000|0102ff;"},
        // db..sp_helptext reads that database, in a batch and as a call.
        RpcRow{"HelpTextOfAnotherDatabase",
               [](SQLHDBC dbc) {
                 Statement st(dbc);
                 std::string out = Client::Transcript(st.h, SQLExecDirect(st.h, (SQLCHAR*)"USE master", SQL_NTS));
                 SQLFreeStmt(st.h, SQL_CLOSE);
                 out += Client::Transcript(st.h,
                                           SQLExecDirect(st.h, (SQLCHAR*)"EXEC Sales..sp_helptext 'Tally'", SQL_NTS));
                 SQLFreeStmt(st.h, SQL_CLOSE);
                 char name[41] = "dbo.Tally";
                 SQLLEN nameLength = SQL_NTS;
                 st.BindText(1, name, nameLength);
                 return out + Client::Transcript(
                                  st.h, SQLExecDirect(st.h, (SQLCHAR*)"{call Sales..sp_helptext(?)}", SQL_NTS));
               },
               "info:Changed database context to 'master'.;"
               "row:CREATE PROCEDURE dbo.Tally @n int, @label nvarchar(40) OUTPUT AS SELECT 1;"
               "row:CREATE PROCEDURE dbo.Tally @n int, @label nvarchar(40) OUTPUT AS SELECT 1;"},
        RpcRow{"UnknownProcedure",
               [](SQLHDBC dbc) {
                 Statement st(dbc);
                 SQLINTEGER n = 3;
                 st.BindInt(1, n);
                 return Client::Transcript(st.h, SQLExecDirect(st.h, (SQLCHAR*)"{call dbo.Nowhere(?)}", SQL_NTS));
               },
               "error:Could not find stored procedure 'Nowhere'.;"},
        // PRINT output comes before the result set that follows it, not after all of them.
        RpcRow{"MessagesInTheirPlace",
               [](SQLHDBC dbc) {
                 Statement st(dbc);
                 return Client::Transcript(
                     st.h, SQLExecDirect(st.h, (SQLCHAR*)"PRINT 'one' SELECT 1 PRINT 'two' SELECT 2", SQL_NTS));
               },
               "info:one;row:1;next;info:two;row:2;"}),
    [](const ::testing::TestParamInfo<RpcRow>& info) { return std::string(info.param.name); });

// ---- limits of the listener ----

namespace {

int Connect(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  timeval wait{10, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  return fd;
}

// True when the server closed the socket (end of stream or reset), false when it stayed silent.
bool ClosedByServer(int fd) {
  char b[64];
  for (;;) {
    const ssize_t n = recv(fd, b, sizeof b, 0);
    if (n > 0) continue;
    return n == 0 || errno == ECONNRESET;
  }
}

class ListenerLimits : public SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    tds_test::IsolateOdbcConfig(folder_);
  }
};

}  // namespace

TEST_F(ListenerLimits, BeforeLoginAClientIsBoundedInSizeAndTime) {
  vx::tds::TdsListener listener(std::make_shared<vx::sqlsim::SimSessionFactory>(folder_), serverName_);
  listener.SetLoginTimeout(std::chrono::milliseconds(300));
  listener.Start();
  // Silent: closed after the login timeout.
  const int silent = Connect(listener.Port());
  ASSERT_GE(silent, 0);
  EXPECT_TRUE(ClosedByServer(silent));
  close(silent);
  listener.Stop();

  // A PRELOGIN message that grows past what a login needs: closed at once.
  vx::tds::TdsListener patient(std::make_shared<vx::sqlsim::SimSessionFactory>(folder_), serverName_);
  patient.Start();
  const int big = Connect(patient.Port());
  ASSERT_GE(big, 0);
  std::string packet(65535, '\0');
  packet[0] = 0x12;  // PRELOGIN, not the last packet
  packet[2] = '\xFF';
  packet[3] = '\xFF';
  for (int i = 0; i < 3; ++i) send(big, packet.data(), packet.size(), MSG_NOSIGNAL);
  EXPECT_TRUE(ClosedByServer(big));
  close(big);
  patient.Stop();
}

TEST_F(ListenerLimits, OutOfDescriptorsOrThreadsTheServerKeepsServing) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizers' runtime needs the descriptors and address space this test takes away";
#endif
  // Descriptors: the server accepts what its limit lets it, waits, and serves again once clients go.
  {
    tds_test::ServedServer served(VX_SQLSIM, serverName_, folder_, 24);
    std::vector<int> idle;
    for (int i = 0; i < 40; ++i)
      if (const int fd = Connect(served.Port()); fd >= 0) idle.push_back(fd);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (int fd : idle) close(fd);
    EXPECT_TRUE(served.Running());
    Client client(served.Port());
    EXPECT_TRUE(client.Connected()) << client.Error();
  }
  // Threads: with no memory left for a thread's stack, only that client is closed.
  {
    tds_test::ServedServer served(VX_SQLSIM, serverName_, folder_);
    long vm = 0;
    std::ifstream status("/proc/" + std::to_string(served.Pid()) + "/status");
    for (std::string line; std::getline(status, line);)
      if (line.rfind("VmSize:", 0) == 0) vm = std::stol(line.substr(7)) * 1024;
    ASSERT_GT(vm, 0);
    const rlimit tight{static_cast<rlim_t>(vm + (512 << 10)), RLIM_INFINITY};
    ASSERT_EQ(prlimit(served.Pid(), RLIMIT_AS, &tight, nullptr), 0);
    const int fd = Connect(served.Port());
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(ClosedByServer(fd));
    close(fd);
    const rlimit loose{RLIM_INFINITY, RLIM_INFINITY};
    prlimit(served.Pid(), RLIMIT_AS, &loose, nullptr);
    EXPECT_TRUE(served.Running());
    Client client(served.Port());
    EXPECT_TRUE(client.Connected()) << client.Error();
  }
}
