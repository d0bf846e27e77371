// `sqlsim serve` as a client that nobody here wrote sees it, through FreeTDS's
// ODBC driver called directly: the server's column types, the session state a
// batch changes, and a cancel.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <thread>

#include "sqlserver/Utf16.h"
#include "support/OdbcClient.h"
#include "support/ServedFixture.h"
#include "support/ServedServer.h"
#include "support/SimFixture.h"

namespace {

using Client = tds_test::OdbcClient;

class TdsEndpoint : public ServedFixture {
 protected:
  void BeforeServing() override {
    Run("CREATE PROCEDURE dbo.Shown AS\r\nselect 1\r\nselect 2");
    Run("CREATE PROCEDURE dbo.Hidden WITH ENCRYPTION AS select 3");
  }
  std::unique_ptr<Client> Connect(const std::string& database = "Sales") {
    auto c = std::make_unique<Client>(served_->Port(), "sa", "sa-pw", database);
    EXPECT_TRUE(c->Connected());
    return c;
  }
};

// ---- the server's types ----

struct TypeRow {
  const char* name;
  const char* query;
  SQLSMALLINT type;
  SQLULEN size;        // 0: not checked
  const char* value;   // "" : the in-process session's text of the value
};
void PrintTo(const TypeRow& row, std::ostream* os) { *os << row.name; }

class TdsTypes : public TdsEndpoint, public ::testing::WithParamInterface<TypeRow> {};

TEST_P(TdsTypes, ColumnsComeWithTheServersTypes) {
  const TypeRow& row = GetParam();
  auto c = Connect();
  ASSERT_TRUE(SQL_SUCCEEDED(c->Run(row.query))) << c->Diagnostic().second;
  SQLSMALLINT type = 0, digits = 0, nullable = 0, nameLength = 0;
  SQLULEN size = 0;
  SQLCHAR name[128] = {};
  SQLDescribeCol(c->Stmt(), 1, name, sizeof name, &nameLength, &type, &size, &digits, &nullable);
  EXPECT_EQ(type, row.type);
  if (row.size) {
    EXPECT_EQ(size, row.size);
  }
  ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(c->Stmt())));
  std::string expected = row.value;
  if (expected.empty()) expected = Batch(row.query).resultSets.at(0).rows.at(0).at(0).AsText() + ".000";
  EXPECT_EQ(c->Text(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TdsTypes,
    ::testing::Values(
        TypeRow{"crdate", "SELECT crdate FROM sysobjects WHERE id = 1", SQL_TYPE_TIMESTAMP, 0, ""},
        TypeRow{"getdate", "SELECT GETDATE() AS now", SQL_TYPE_TIMESTAMP, 0, ""},
        TypeRow{"cast_datetime", "SELECT CAST('2024-02-29 13:45:10' AS datetime)", SQL_TYPE_TIMESTAMP, 0,
                "2024-02-29 13:45:10.000"},
        TypeRow{"convert_datetime", "SELECT CONVERT(datetime, '20240301')", SQL_TYPE_TIMESTAMP, 0,
                "2024-03-01 00:00:00.000"},
        // ctext holds the text's UTF-16LE bytes.
        TypeRow{"ctext", "SELECT ctext FROM syscomments WHERE id = OBJECT_ID('Shown')", SQL_VARBINARY, 8000,
                "4300520045004100540045002000500052004f004300450044005500520045002000640062006f002e00530068006f00"
                "77006e002000410053000d000a00730065006c00650063007400200031000d000a00730065006c0065006300740020003200"},
        TypeRow{"cast_varbinary", "SELECT CAST('AB' AS varbinary(4))", SQL_VARBINARY, 4, "4142"},
        TypeRow{"smallint", "SELECT colid FROM syscomments WHERE id = OBJECT_ID('Shown')", SQL_SMALLINT, 0, "1"},
        TypeRow{"tinyint", "SELECT cmptlevel FROM master..sysdatabases WHERE dbid = 1", SQL_TINYINT, 0, "80"},
        TypeRow{"bit", "SELECT encrypted FROM syscomments WHERE id = OBJECT_ID('Hidden')", SQL_BIT, 0, "1"},
        TypeRow{"int", "SELECT id FROM sysobjects WHERE id = 1", SQL_INTEGER, 0, "1"},
        TypeRow{"sysname", "SELECT name FROM sysobjects WHERE id = 1", SQL_WVARCHAR, 128, "sysobjects"},
        TypeRow{"nvarchar4000", "SELECT text FROM syscomments WHERE id = OBJECT_ID('Shown')", SQL_WVARCHAR, 4000,
                "CREATE PROCEDURE dbo.Shown AS\r\nselect 1\r\nselect 2"}),
    [](const ::testing::TestParamInfo<TypeRow>& info) { return std::string(info.param.name); });

// ---- what a batch changes in the session ----

TEST_F(TdsEndpoint, UseNoCountIsolationAndHelpTextAsTheServerAnswersThem) {
  auto c = Connect();
  // USE: the driver follows the database change, and message 5701 tells it.
  ASSERT_EQ(c->Run("USE master"), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(c->Diagnostic(), std::make_pair(SQLINTEGER{5701}, std::string(
                                                                   "[FreeTDS][SQL Server]Changed database context to "
                                                                   "'master'.")));
  char database[128] = {};
  SQLSMALLINT length = 0;
  SQLGetInfo(c->Dbc(), SQL_DATABASE_NAME, database, sizeof database, &length);
  EXPECT_STREQ(database, "master");
  ASSERT_TRUE(SQL_SUCCEEDED(c->Run("USE Sales")));

  // NOCOUNT: a result set's end carries no row count while it is on.
  auto rowCount = [&](const char* batch) {
    EXPECT_TRUE(SQL_SUCCEEDED(c->Run(batch)));
    while (SQL_SUCCEEDED(SQLFetch(c->Stmt()))) {
    }
    SQLLEN n = -2;
    SQLRowCount(c->Stmt(), &n);
    return n;
  };
  EXPECT_EQ(rowCount("SELECT name FROM sysobjects WHERE id < 3"), 2);
  ASSERT_NE(c->Run("SET NOCOUNT ON"), SQL_ERROR);
  EXPECT_EQ(rowCount("SELECT name FROM sysobjects WHERE id < 3"), -1);
  ASSERT_NE(c->Run("SET NOCOUNT OFF"), SQL_ERROR);
  EXPECT_EQ(rowCount("SELECT name FROM sysobjects WHERE id < 3"), 2);

  EXPECT_NE(c->Run("SET TRANSACTION ISOLATION LEVEL READ COMMITTED"), SQL_ERROR);

  // sp_helptext: one row per line, with its line end; an encrypted object says so.
  ASSERT_EQ(c->Run("EXEC sp_helptext 'dbo.Shown'"), SQL_SUCCESS);
  std::vector<std::string> lines;
  while (SQL_SUCCEEDED(SQLFetch(c->Stmt()))) lines.push_back(c->Text());
  EXPECT_EQ(lines, (std::vector<std::string>{"CREATE PROCEDURE dbo.Shown AS\r\n", "select 1\r\n", "select 2"}));
  ASSERT_EQ(c->Run("EXEC sp_helptext 'Hidden'"), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(c->Diagnostic().first, 15471);
  EXPECT_EQ(c->Run("EXEC sp_helptext 'Nowhere'"), SQL_ERROR);
  EXPECT_EQ(c->Diagnostic().first, 15009);
}

// ---- cancel and disconnect ----

// A query the simulator takes seconds over (13 rows of sysobjects, joined 7 or 8 times).
std::string LongQuery(int joins) {
  std::string q = "SELECT COUNT(*) FROM sysobjects t0";
  for (int i = 1; i < joins; ++i) q += ", sysobjects t" + std::to_string(i);
  return q;
}

// A cancel of a SQL batch, and of a procedure call (a statement with a bound
// parameter goes as sp_executesql).
class TdsCancel : public TdsEndpoint, public ::testing::WithParamInterface<bool> {};

TEST_P(TdsCancel, ACancelStopsTheRunningBatchAndIsAcknowledged) {
  const bool procedureCall = GetParam();
  auto c = Connect();
  SQLRETURN rc = SQL_SUCCESS;
  SQLINTEGER low = 0;
  if (procedureCall)
    SQLBindParameter(c->Stmt(), 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &low, 0, nullptr);
  const std::string query = LongQuery(7) + (procedureCall ? " WHERE t0.id > ?" : "");
  // Had the batch run on, the DROP after the query would have run too.
  std::thread running([&] { rc = c->Run(query + "\nDROP PROCEDURE dbo.Shown"); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(SQL_SUCCEEDED(SQLCancel(c->Stmt())));
  running.join();
  EXPECT_EQ(rc, SQL_ERROR);
  SQLCHAR state[6] = {};
  SQLGetDiagRec(SQL_HANDLE_STMT, c->Stmt(), 1, state, nullptr, nullptr, 0, nullptr);
  EXPECT_STREQ(reinterpret_cast<char*>(state), "HY008");  // operation cancelled
  EXPECT_NE(ObjectId("Shown"), 0);
  // The connection goes on.
  SQLFreeStmt(c->Stmt(), SQL_RESET_PARAMS);
  ASSERT_EQ(c->Run("SELECT DB_NAME()"), SQL_SUCCESS);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(c->Stmt())));
  EXPECT_EQ(c->Text(), "Sales");
}

INSTANTIATE_TEST_SUITE_P(Requests, TdsCancel, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "ProcedureCall" : "Batch");
                         });

TEST_F(TdsEndpoint, ADroppedClientsBatchStopsAndItsTransactionIsRolledBackAtOnce) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  if (child == 0) {
    Client c(served_->Port(), "sa", "sa-pw", "Sales");
    const bool ok = c.Connected() && c.Run("BEGIN TRANSACTION") != SQL_ERROR &&
                    c.Run("CREATE PROCEDURE dbo.LeftBehind AS select 1") != SQL_ERROR;
    (void)!write(ready[1], ok ? "y" : "n", 1);
    c.Run(LongQuery(8));  // killed in the middle of it
    _exit(0);
  }
  close(ready[1]);
  char answer = 0;
  ASSERT_EQ(read(ready[0], &answer, 1), 1);
  close(ready[0]);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  ASSERT_EQ(answer, 'y');
  // The transaction's write lock is gone with it: another client writes without waiting out the query.
  auto c = Connect();
  ASSERT_NE(c->Run("SET LOCK_TIMEOUT 3000"), SQL_ERROR);
  EXPECT_NE(c->Run("CREATE PROCEDURE dbo.AfterTheDrop AS select 1"), SQL_ERROR) << c->Diagnostic().second;
  EXPECT_NE(ObjectId("AfterTheDrop"), 0);
  EXPECT_EQ(ObjectId("LeftBehind"), 0);
}

}  // namespace
