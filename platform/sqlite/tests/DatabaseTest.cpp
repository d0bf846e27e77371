#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "sqlite/Database.h"

namespace fs = std::filesystem;
using vx::sqlite::Database;
using vx::sqlite::SqliteError;

namespace {
fs::path TempFile(const char* name) {
  fs::path dir = fs::temp_directory_path() / ("vx_sqlite_" + std::to_string(getpid()));
  fs::create_directories(dir);
  fs::path p = dir / name;
  fs::remove(p);
  return p;
}
}  // namespace

TEST(Database, EncryptedFileIsUnreadableWithoutItsKey) {
  fs::path p = TempFile("enc.db");
  {
    Database db(p.string(), vx::sqlite::OpenMode::ReadWriteCreate, std::string("secret"));
    db.Exec("CREATE TABLE t(x TEXT); INSERT INTO t VALUES('plain words here')");
  }
  std::ifstream in(p, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(bytes.find("plain words here"), std::string::npos);
  EXPECT_EQ(bytes.find("SQLite format 3"), std::string::npos);
  EXPECT_THROW(Database(p.string(), vx::sqlite::OpenMode::ReadWrite, std::string("wrong")), SqliteError);
  EXPECT_THROW(Database(p.string(), vx::sqlite::OpenMode::ReadWrite), SqliteError);
  Database again(p.string(), vx::sqlite::OpenMode::ReadWrite, std::string("secret"));
  auto s = again.Prepare("SELECT x FROM t");
  ASSERT_TRUE(s.Step());
  EXPECT_EQ(s.Text(0), "plain words here");
}

TEST(Database, NotADatabaseGivesAClearErrorAndTheKeyIsNeverShown) {
  fs::path p = TempFile("junk.db");
  std::ofstream(p) << "this is not a database at all, just some text that is long enough";
  try {
    Database db(p.string(), vx::sqlite::OpenMode::ReadWrite, std::string("hidden-key"));
    FAIL() << "opened a junk file";
  } catch (const SqliteError& e) {
    EXPECT_NE(e.Description().find(p.string()), std::string::npos);
    EXPECT_EQ(e.Description().find("hidden-key"), std::string::npos);
  }
}

TEST(Database, TransactionRollsBackUnlessCommitted) {
  fs::path p = TempFile("tx.db");
  Database db(p.string());
  db.Exec("CREATE TABLE t(x)");
  {
    vx::sqlite::Transaction tx(db);
    db.Exec("INSERT INTO t VALUES(1)");
  }
  {
    vx::sqlite::Transaction tx(db);
    db.Exec("INSERT INTO t VALUES(2)");
    tx.Commit();
  }
  auto s = db.Prepare("SELECT group_concat(x) FROM t");
  ASSERT_TRUE(s.Step());
  EXPECT_EQ(s.Text(0), "2");
}
