// Server files and the list of servers: foreign files, the simulator folder,
// FreeTDS and unixODBC configuration files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

#include "automation/ComError.h"
#include "sqlserver/SQLServer.h"
#include "sqlserver/ServerErrors.h"
#include "sqlserver/ServerList.h"
#include "sqlserver/SqlBrowser.h"
#include "sqlserver_sim/SimFolder.h"
#include "sqlite/Database.h"
#include "sqlserver/Utf16.h"
#include "support/SimFixture.h"
#include "support/StraddlingText.h"

namespace fs = std::filesystem;

namespace {
class ServerFiles : public SimFixture {};

void Write(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}
}  // namespace

TEST_F(ServerFiles, AFileThatIsNoServerGivesAClearError) {
  Write(vx::sqlsim::ServerFilePath("JUNK"), std::string(5000, 'z'));
  try {
    vx::sqlsim::SimServer::Open("JUNK");
    ADD_FAILURE();
  } catch (const vx::ComError& e) {
    EXPECT_EQ(e.Number(), vx::err::kServerUnreachable);
    EXPECT_NE(e.Description().find("cannot be used"), std::string::npos) << e.Description();
  }
  vx::sqlserver::SQLServer s;
  try {
    s.Connect("JUNK", std::string("sa"), std::string("x"));
    ADD_FAILURE();
  } catch (const vx::ComError& e) {
    EXPECT_EQ(e.Number(), vx::err::kServerUnreachable);
  }
  EXPECT_FALSE(s.IsConnected());
  // The junk file is not listed; the real server is, and a second one cannot take its name.
  EXPECT_EQ(vx::sqlsim::ServerNames(), std::vector<std::string>{serverName_});
  EXPECT_THROW(vx::sqlsim::SimServer::Create("simtest"), vx::ComError);
}

TEST_F(ServerFiles, ServerNamesBecomeSafeFileNames) {
  auto named = vx::sqlsim::SimServer::Create("HOST\\INST/../x");
  EXPECT_EQ(fs::path(named.FilePath()).parent_path(), fs::path(folder_));
  EXPECT_TRUE(vx::sqlsim::ServerExists("host\\inst/../X"));
  EXPECT_EQ(vx::sqlsim::SimServer::Open("HOST\\INST/../x").Name(), "HOST\\INST/../x");
}

TEST_F(ServerFiles, NetworkListJoinsSimulatorFreeTdsAndOdbc) {
  std::string freetds = folder_ + "/freetds.conf", odbc = folder_ + "/odbc.ini";
  // FreeTDS's sample entries are not servers of the user's.
  Write(freetds, "[global]\n  tds version = 7.1\n[egServer50]\n  host = symachine.domain.com\n[PAYROLL]\n"
                 "  host = 10.0.0.5\n  port = 1433\n[simtest]\n[egServer73]\n  host = ntmachine.domain.com\n");
  Write(odbc, "[ODBC Data Sources]\nWarehouse = FreeTDS\n\n[Warehouse]\nDriver = FreeTDS\n");
  setenv("FREETDSCONF", freetds.c_str(), 1);
  setenv("ODBCINI", odbc.c_str(), 1);
  setenv("ODBCSYSINI", folder_.c_str(), 1);  // the same file again: listed once
  auto names = vx::sqlserver::ListAvailableSQLServers();
  unsetenv("FREETDSCONF");
  unsetenv("ODBCINI");
  unsetenv("ODBCSYSINI");
  EXPECT_EQ(names, (std::vector<std::string>{serverName_, "PAYROLL", "Warehouse"}));
}

TEST_F(ServerFiles, ServerFilesAreTheOwnersOnly) {
  mode_t old = umask(022);
  vx::sqlsim::ServerOptions options;
  options.saPassword = "sa-pw";
  auto s = vx::sqlsim::SimServer::Create("PRIVATE", options);
  umask(old);
  auto session = s.OpenSession(Login("sa"), "master");
  session->Execute("BEGIN TRAN");
  ASSERT_EQ(session->Execute("CREATE PROCEDURE Secret AS select 'source'").FirstError(), nullptr);
  for (const char* suffix : {"", "-wal", "-shm"}) {
    struct stat st {};
    ASSERT_EQ(stat((s.FilePath() + suffix).c_str(), &st), 0) << suffix;
    EXPECT_EQ(st.st_mode & 0777, 0600u) << suffix;
  }
}

TEST_F(ServerFiles, BrowserAnswersNameDefaultAndNamedInstances) {
  const std::string text =
      "ServerName;DBHOST;InstanceName;MSSQLSERVER;IsClustered;No;Version;8.00.194;tcp;1433;;"
      "ServerName;DBHOST;InstanceName;SALES;IsClustered;No;Version;8.00.194;tcp;1501;np;\\\\DBHOST\\pipe;;";
  std::string datagram = "\x05";
  datagram += static_cast<char>(text.size() & 0xFF);
  datagram += static_cast<char>(text.size() >> 8);
  datagram += text;
  EXPECT_EQ(vx::sqlserver::SqlBrowser::ParseReply(datagram), (std::vector<std::string>{"DBHOST", "DBHOST\\SALES"}));
  EXPECT_TRUE(vx::sqlserver::SqlBrowser::ParseReply("\x04junk").empty());
}

TEST_F(ServerFiles, TextsKeptInTheEarlierFormAreCutAgainAndReadBackByteForByte) {
  const std::string text = tds_test::StraddlingProcedure("Straddle");
  Run(text + "\nGO\n");
  const std::string id = std::to_string(ObjectId("Straddle"));
  {
    // The earlier form: rows of 4,000 characters, ctext in UTF-8, format 1.
    vx::sqlite::Database db(vx::sqlsim::ServerFilePath(serverName_), vx::sqlite::OpenMode::ReadWrite);
    auto dbid = db.Prepare("SELECT dbid FROM comments WHERE id = " + id);
    ASSERT_TRUE(dbid.Step());
    const int64_t database = dbid.Int64(0);
    db.Exec("DELETE FROM comments WHERE id = " + id);
    const std::u16string units = vx::sqlserver::Utf8ToUtf16(text);
    std::vector<std::string> rows(1);
    for (size_t i = 0, chars = 0; i < units.size(); ++chars) {
      if (chars == 4000) rows.emplace_back(), chars = 0;
      const size_t n = units[i] >= 0xD800 && units[i] <= 0xDBFF ? 2 : 1;
      rows.back() += vx::sqlserver::Utf16ToUtf8(units.substr(i, n));
      i += n;
    }
    auto ins =
        db.Prepare("INSERT INTO comments(dbid, id, number, colid, ctext, text) VALUES (?, " + id + ", 1, ?, ?, ?)");
    for (size_t c = 0; c < rows.size(); ++c) {
      ins.Reset();
      ins.Bind(1, database).Bind(2, static_cast<int64_t>(c + 1));
      ins.BindBlob(3, std::vector<uint8_t>(rows[c].begin(), rows[c].end())).Bind(4, rows[c]);
      ins.Step();
    }
    ASSERT_GT(vx::sqlserver::Utf8ToUtf16(rows.at(1)).size(), 4000u);  // too long for nvarchar(4000)
    db.Exec("UPDATE server_info SET value = '1' WHERE key = 'format'");
  }
  auto r = Batch("SELECT DATALENGTH(text), DATALENGTH(ctext), text FROM syscomments WHERE id = " + id +
                 " ORDER BY colid");
  const auto& rows = r.resultSets.at(0).rows;
  ASSERT_EQ(rows.size(), 3u);
  std::string joined;
  for (const auto& row : rows) {
    EXPECT_LE(row[0].AsInt64(), 8000);
    EXPECT_EQ(row[1].AsInt64(), row[0].AsInt64());
    vx::sqlserver::AppendText(joined, row[2].AsText());
  }
  EXPECT_EQ(joined, text);
}

TEST_F(ServerFiles, AFileMadeBeforePermissionsAndIndexesWereKeptTakesThemWhenOpened) {
  Run("CREATE TABLE dbo.t (a int)\nGO\nCREATE VIEW dbo.bv WITH ENCRYPTION, SCHEMABINDING AS SELECT a FROM dbo.t\nGO\n");
  {
    vx::sqlite::Database db(vx::sqlsim::ServerFilePath(serverName_), vx::sqlite::OpenMode::ReadWrite);
    db.Exec("DROP TABLE protects; DROP TABLE indexes; DROP TABLE indexkeys; DROP TABLE bound; DROP TABLE bindings");
  }
  auto r = Batch("GRANT SELECT ON dbo.t TO public SELECT COUNT(*) FROM sysprotects, sysindexes");
  ASSERT_FALSE(r.FirstError()) << r.FirstError()->text;
  EXPECT_EQ(r.resultSets.at(0).rows.at(0).at(0).AsInt64(), 0);  // no index, so no pair
  EXPECT_EQ(Batch("SELECT COUNT(*) FROM sysprotects").resultSets.at(0).rows.at(0).at(0).AsInt64(), 1);
  // A schema-bound view made before is known as one, and refused an index rather than told it is not bound.
  EXPECT_EQ(Batch("SELECT OBJECTPROPERTY(OBJECT_ID('dbo.bv'), 'IsSchemaBound')").resultSets.at(0).rows.at(0).at(0)
                .AsInt64(), 1);
  EXPECT_EQ(ErrorOf("SET ARITHABORT ON CREATE UNIQUE CLUSTERED INDEX ix ON dbo.bv (a)"), 50000);
}
