// Compaction into a checked, encrypted copy; crash safety between two queries.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <vector>

#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

#include "../src/Secrets.h"
#include "ArchiveTestFolder.h"
#include "archive/Connection.h"
#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"

namespace {

using archive_test::ArchiveFolder;
using vx::archive::Connection;
using vx::archive::Parameter;
using vx::archive::ParamType;

void AddServer(Connection& c, const std::string& name) {
  c.Execute("qryAddSQLServer", {Parameter::Text("@SQLServerName", name, 128),
                                Parameter::Byte("@LoginAuthenticationType", 1), Parameter::Text("@UserName", "", 128),
                                Parameter::Text("@Password", "", 128, ParamType::LongVarWChar)});
}

int32_t Count(Connection& c) { return c.OpenRecordset("qryCountSQLServers").Field("SQLServerCount").ToLong(); }

int32_t ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const vx::ComError& e) {
    return e.Number();
  }
  return 0;
}

std::string TargetConnection(const ArchiveFolder& f) { return vx::archive::CompactTargetConnectionString(f.Folder()); }

TEST(ArchiveCompact, CopyKeepsRowsQueriesAndCascadeAndIsOwnerOnly) {
  ArchiveFolder f;
  {
    Connection c(f.User());
    for (int i = 0; i < 50; ++i) AddServer(c, "S" + std::to_string(i));
  }
  // The program's strings, with the engine-type key it appends.
  vx::archive::CompactDatabase(f.Admin() + ";Jet OLEDB:Engine Type=5;", TargetConnection(f) + ";Jet OLEDB:Engine Type=5;");
  const std::string tmp = f.Path("Vexilon.tmp");
  struct stat st {};
  ASSERT_EQ(::stat(tmp.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // The copy is the archive: move it over and use it.
  ASSERT_EQ(std::rename(tmp.c_str(), f.Path("Vexilon.dat").c_str()), 0);
  Connection c(f.User());
  EXPECT_EQ(Count(c), 50);
  c.Execute("qryDeleteSQLServer", {Parameter::TextLength("@SQLServerName", "S1")});
  EXPECT_EQ(Count(c), 49);
}

// A table whose name holds a double quote is read and copied as any other.
TEST(ArchiveCompact, ATableNamedWithAQuoteIsCheckedAndCopied) {
  ArchiveFolder f;
  vx::archive::CloseArchive(f.Path("Vexilon.dat"));
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(f.Path("Vexilon.dat").c_str(), &db), SQLITE_OK);
    const std::string sql = std::string("PRAGMA key = \"") + vx::archive::detail::kArchiveKey +
                            "\"; CREATE TABLE \"odd\"\"name\"(t); INSERT INTO \"odd\"\"name\" VALUES('kept');";
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
  }
  EXPECT_NO_THROW(vx::archive::CheckArchiveSound(f.Path("Vexilon.dat")));
  EXPECT_NO_THROW(vx::archive::CompactDatabase(f.Admin(), TargetConnection(f)));
}

// Every row of every table of an archive file, read past the archive layer
// with pages of `pageSize` (0: SQLCipher's default, that of earlier versions),
// followed by its page size and journal mode.
std::string Dump(const std::string& path, int pageSize) {
  sqlite3* db = nullptr;
  std::string out;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) return "cannot open";
  std::string key = std::string("PRAGMA key = \"") + vx::archive::detail::kArchiveKey + "\";";
  if (pageSize) key += "PRAGMA cipher_page_size = " + std::to_string(pageSize) + ";";
  sqlite3_exec(db, key.c_str(), nullptr, nullptr, nullptr);
  auto rows = [&](const std::string& sql) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) return out += "cannot read;", void();
    while (sqlite3_step(st) == SQLITE_ROW) {
      for (int c = 0; c < sqlite3_column_count(st); ++c) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
        out += std::to_string(sqlite3_column_type(st, c)) + ":" + (text ? text : "") + "|";
      }
      out += "\n";
    }
    sqlite3_finalize(st);
  };
  std::vector<std::string> tables;
  {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name", -1, &st, nullptr);
    while (st && sqlite3_step(st) == SQLITE_ROW) tables.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
  }
  rows("SELECT type, name, tbl_name, sql FROM sqlite_master ORDER BY name");
  for (const auto& t : tables) rows("SELECT * FROM \"" + t + "\" ORDER BY rowid");
  out += "pages ";
  rows("PRAGMA page_size");
  rows("PRAGMA journal_mode");
  sqlite3_close(db);
  return out;
}

void AddLogItem(Connection& c, int i) {
  c.Execute("qryAddLogItem",
            {Parameter::Date("@DateTime", 46000.5 + i), Parameter::TextLength("@SQLServerName", "S"),
             Parameter::TextLength("@DatabaseName", "db"), Parameter::NullOf("@TableName", ParamType::VarWChar, 128),
             Parameter::TextLength("@OwnerName", "dbo"), Parameter::Long("@ObjectType", 1),
             Parameter::TextLength("@ObjectName", "p" + std::to_string(i)),
             Parameter::TextLength("@Message", "Encrypted", ParamType::LongVarWChar),
             Parameter::TextLength("@Script", std::string(3000 + 7 * i, static_cast<char>('a' + i % 26)),
                                   ParamType::LongVarWChar)});
}

// The archives of earlier versions have pages of 1 KB, as CreateArchive still
// writes them; compaction writes pages of 4 KB. The copy holds every row as it
// was, is marked for the write-ahead log already, and opens as the archive;
// the file of 1 KB pages still opens too (the backup keeps one).
TEST(ArchiveCompact, AnArchiveOfSmallPagesBecomesOneOfLargePagesRowForRow) {
  ArchiveFolder f;
  {
    Connection c(f.User());
    c.BeginTrans();
    for (int i = 0; i < 300; ++i) AddServer(c, "S" + std::to_string(i));
    for (int i = 0; i < 200; ++i) AddLogItem(c, i);
    c.CommitTrans();
  }
  vx::archive::CloseArchive(f.Path("Vexilon.dat"));
  const std::string before = Dump(f.Path("Vexilon.dat"), 0);
  ASSERT_NE(before.find("pages 1:1024|\n3:wal|"), std::string::npos) << before.substr(before.size() - 40);
  vx::archive::CompactDatabase(f.Admin(), TargetConnection(f));
  std::string after = Dump(f.Path("Vexilon.tmp"), 4096);
  ASSERT_NE(after.find("pages 1:4096|\n3:wal|"), std::string::npos) << after.substr(after.size() - 40);
  EXPECT_EQ(after.substr(0, after.find("pages ")), before.substr(0, before.find("pages ")));
  ASSERT_EQ(std::rename(f.Path("Vexilon.tmp").c_str(), f.Path("Vexilon.dat").c_str()), 0);
  Connection c(f.User());
  EXPECT_EQ(Count(c), 300);
  EXPECT_EQ(c.OpenRecordset("qryGetLog").RecordCount(), 200);
  AddLogItem(c, 200);
  c.Close();
  vx::archive::CloseArchive(f.Path("Vexilon.dat"));
  after = Dump(f.Path("Vexilon.dat"), 4096);
  EXPECT_NE(after.find(std::string(3000 + 7 * 200, 'a' + 200 % 26)), std::string::npos);
}

TEST(ArchiveCompact, RefusedForTheUserAccountOrAnExistingTargetAndTheSourceStays) {
  ArchiveFolder f;
  {
    Connection c(f.User());
    AddServer(c, "Keep");
  }
  const std::string userAsSource = f.User();
  EXPECT_EQ(ErrorOf([&] { vx::archive::CompactDatabase(userAsSource, TargetConnection(f)); }),
            vx::err::kArchiveAuthentication);
  std::FILE* left = std::fopen(f.Path("Vexilon.tmp").c_str(), "w");
  std::fclose(left);
  EXPECT_EQ(ErrorOf([&] { vx::archive::CompactDatabase(f.Admin(), TargetConnection(f)); }),
            vx::err::kFileAlreadyExists);
  Connection c(f.User());
  EXPECT_EQ(Count(c), 1);
}

// Runs `work` in a child process and kills it (SIGKILL) where `work` returns,
// as a crash there would. True when the child got there and was killed.
bool KilledAfter(const std::function<void()>& work) {
  int ready[2];
  if (::pipe(ready) != 0) return false;
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    try {
      work();
      char x = 1;
      (void)!::write(ready[1], &x, 1);
      ::pause();
    } catch (...) {
    }
    ::_exit(3);
  }
  char x = 0;
  const bool reached = ::read(ready[0], &x, 1) == 1;
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  ::close(ready[0]);
  ::close(ready[1]);
  return reached && WIFSIGNALED(status);
}

TEST(ArchiveCrash, AKilledProcessLeavesCommittedWorkAndLosesOnlyItsOpenTransaction) {
  ArchiveFolder f;
  ASSERT_TRUE(KilledAfter([&] {
    auto* c = new Connection(f.User());  // still open when the kill comes
    AddServer(*c, "Committed");          // first stored query, committed on its own
    c->BeginTrans();
    AddServer(*c, "Pending1");  // second and third, inside a transaction
    AddServer(*c, "Pending2");
  }));

  Connection c(f.User());
  EXPECT_EQ(Count(c), 1);
  EXPECT_EQ(c.OpenRecordset("qryGetSQLServer", {Parameter::Text("@SQLServerName", "Committed", 128)}).RecordCount(),
            1);
  AddServer(c, "After");
  EXPECT_EQ(Count(c), 2);
  c.Close();
  // And the file is whole: compaction checks it.
  EXPECT_EQ(ErrorOf([&] { vx::archive::CompactDatabase(f.Admin(), TargetConnection(f)); }), 0);
}

// Between calls the committed rows may be in the write-ahead log beside the
// file. A process killed then leaves the log; the check (start-up's, the
// backup's) folds it in, so that the file alone, copied anywhere, holds them.
TEST(ArchiveCrash, TheCheckFoldsTheLogOfAKilledProcessIntoTheFile) {
  ArchiveFolder f, elsewhere("-copy");
  ASSERT_TRUE(KilledAfter([&] {
    Connection c(f.User());
    AddServer(c, "Committed");
  }));
  const std::string log = f.Path("Vexilon.dat-wal");
  ASSERT_TRUE(std::filesystem::exists(log) && std::filesystem::file_size(log) > 0);

  vx::archive::CheckArchiveSound(f.Path("Vexilon.dat"));
  EXPECT_FALSE(std::filesystem::exists(log));
  std::filesystem::copy_file(f.Path("Vexilon.dat"), elsewhere.Path("Vexilon.dat"),
                             std::filesystem::copy_options::overwrite_existing);
  Connection c(elsewhere.User());
  EXPECT_EQ(Count(c), 1);
}

}  // namespace
