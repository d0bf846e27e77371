// Opening the archive: accounts, the workgroup file, bad files, other processes.
#include <signal.h>
#include <sqlcipher/sqlite3.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include <gtest/gtest.h>

#include "ArchiveTestFolder.h"
#include "archive/Connection.h"
#include "archive/ConnectionString.h"
#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"

namespace {

using archive_test::ArchiveFolder;
using vx::archive::Connection;

int32_t OpenError(const std::string& cs, std::string* description = nullptr) {
  try {
    Connection c(cs);
  } catch (const vx::ComError& e) {
    if (description) *description = e.Description();
    return e.Number();
  }
  return 0;
}

std::string Jet(const std::string& dat, const std::string& user, const std::string& password,
                const std::string& sec) {
  using vx::archive::QuoteConnectionValue;
  return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + QuoteConnectionValue(dat) + ";User ID=" + user +
         ";Password=" + QuoteConnectionValue(password) + ";Jet OLEDB:System Database=" + QuoteConnectionValue(sec);
}

TEST(ArchiveConnection, BothAccountsOpenAndFilesAreOwnerOnly) {
  ArchiveFolder f;
  EXPECT_EQ(Connection(f.User()).Account(), "User");
  EXPECT_EQ(Connection(f.Admin()).Account(), "Administrator");
  for (const char* name : {vx::archive::kArchiveFileName, vx::archive::kWorkgroupFileName}) {
    struct stat st {};
    ASSERT_EQ(::stat(f.Path(name).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << name;
  }
}

TEST(ArchiveConnection, WrongAccountsAndMissingFilesRaiseClearErrorsWithoutSecrets) {
  ArchiveFolder f;
  const std::string dat = f.Path("Vexilon.dat"), sec = f.Path("Vexilon.sec");
  std::string text;
  EXPECT_EQ(OpenError(Jet(dat, "User", "wrong", sec), &text), vx::err::kArchiveAuthentication);
  EXPECT_EQ(text.find("kp8415QM"), std::string::npos);
  EXPECT_EQ(OpenError(Jet(dat, "User", "KP8415QM", sec)), vx::err::kArchiveAuthentication);  // case counts
  EXPECT_EQ(OpenError(Jet(dat, "Admin", "kp8415QM", sec)), vx::err::kArchiveAuthentication);
  EXPECT_EQ(OpenError(Jet(dat, "user", "kp8415QM", sec)), 0);  // account names ignore case
  EXPECT_EQ(OpenError(Jet(dat, "User", "kp8415QM", f.Path("missing.sec"))), vx::err::kArchiveFileNotFound);
  EXPECT_EQ(OpenError(Jet(f.Path("missing.dat"), "User", "kp8415QM", sec)), vx::err::kArchiveFileNotFound);
  EXPECT_EQ(OpenError(""), vx::err::kArchiveConnectionString);
  EXPECT_EQ(OpenError("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=\"unclosed"), vx::err::kArchiveConnectionString);
  // The archive opens only while the workgroup file exists.
  ASSERT_EQ(std::remove(sec.c_str()), 0);
  EXPECT_EQ(OpenError(f.User()), vx::err::kArchiveFileNotFound);
}

// A logon once proved is not re-read from the workgroup file on every open:
// it must still not let a wrong password in, nor outlive the file it was proved on.
TEST(ArchiveConnection, AProvedLogonAdmitsNoOtherPasswordAndNoReplacedWorkgroupFile) {
  ArchiveFolder f;
  const std::string dat = f.Path("Vexilon.dat"), sec = f.Path("Vexilon.sec");
  ASSERT_EQ(OpenError(f.User()), 0);
  EXPECT_EQ(OpenError(Jet(dat, "User", "kp8415Q", sec)), vx::err::kArchiveAuthentication);
  EXPECT_EQ(OpenError(Jet(dat, "User", "kp8415QMx", sec)), vx::err::kArchiveAuthentication);
  {
    std::ofstream foreign(f.Path("foreign.sec"), std::ios::binary);
    foreign << std::string(4096, 'x');
  }
  ASSERT_EQ(std::rename(f.Path("foreign.sec").c_str(), sec.c_str()), 0);
  EXPECT_EQ(OpenError(f.User()), vx::err::kArchiveNotADatabase);
}

TEST(ArchiveConnection, ForeignPlainOrDamagedFilesAreRefused) {
  ArchiveFolder f;
  const std::string sec = f.Path("Vexilon.sec");
  // A plain (not encrypted) SQLite database.
  const std::string plain = f.Path("plain.dat");
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(plain.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "CREATE TABLE StoredQueries (Name TEXT); INSERT INTO StoredQueries VALUES ('x');", nullptr,
                 nullptr, nullptr);
    sqlite3_close(db);
  }
  EXPECT_EQ(OpenError(Jet(plain, "User", "kp8415QM", sec)), vx::err::kArchiveNotADatabase);
  const std::string junk = f.Path("junk.dat");
  std::ofstream(junk) << std::string(5000, 'x');
  EXPECT_EQ(OpenError(Jet(junk, "User", "kp8415QM", sec)), vx::err::kArchiveNotADatabase);
  // A workgroup file that is no workgroup file.
  const std::string badSec = f.Path("bad.sec");
  std::ofstream(badSec) << "not a workgroup";
  EXPECT_EQ(OpenError(Jet(f.Path("Vexilon.dat"), "User", "kp8415QM", badSec)), vx::err::kArchiveNotADatabase);
  // The real archive is still intact afterwards.
  EXPECT_EQ(OpenError(f.User()), 0);
}

TEST(ArchiveConnection, FolderNamesWithSemicolonsAndQuotesWork) {
  ArchiveFolder f(";o'dd\"name");
  Connection c(f.User());
  EXPECT_EQ(c.OpenRecordset("qryCountSQLServers").Field("SQLServerCount").ToLong(), 0);
}

TEST(ArchiveConnection, ConnectionsOfOneProcessShareAnotherProcessIsRefused) {
  ArchiveFolder f;
  {
    Connection a(f.User());
    Connection b(f.User());  // share deny none within the process
    EXPECT_TRUE(b.IsOpen());
  }
  int ready[2], release[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(release), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int code = 0;
    try {
      Connection held(f.User());
      char c = 1;
      (void)!::write(ready[1], &c, 1);
      (void)!::read(release[0], &c, 1);
    } catch (...) {
      code = 3;
    }
    ::_exit(code);
  }
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  std::string text;
  EXPECT_EQ(OpenError(f.User(), &text), vx::err::kUnspecified);
  EXPECT_EQ(OpenError(f.User()), -2147467259);
  EXPECT_NE(text.find("already in use"), std::string::npos);
  (void)!::write(release[1], &c, 1);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(OpenError(f.User()), 0);  // free again once the other process let go
}

// Another process that keeps the file locked the way SQLite locks it (a shell
// in a transaction, say) is reported as holding the archive, not as a file that
// cannot be read.
TEST(ArchiveConnection, AFileLockedByAnotherProcessIsReportedAsAlreadyOpen) {
  ArchiveFolder f;
  int ready[2], release[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(release), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int fd = ::open(f.Path(vx::archive::kArchiveFileName).c_str(), O_RDWR);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0x40000000;  // SQLite's pending and shared lock bytes
    lock.l_len = 512;
    const int code = fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0 ? 0 : 3;
    char c = 1;
    (void)!::write(ready[1], &c, 1);
    (void)!::read(release[0], &c, 1);
    ::_exit(code);
  }
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  std::string text;
  EXPECT_EQ(OpenError(f.User(), &text), vx::err::kUnspecified);
  EXPECT_NE(text.find("already open"), std::string::npos) << text;
  (void)!::write(release[1], &c, 1);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(OpenError(f.User()), 0);
}

TEST(ArchiveConnectionString, ParsesQuotedValuesAndQuotesWhatNeedsIt) {
  using vx::archive::ConnectionString;
  auto cs = ConnectionString::Parse(
      "Provider=Microsoft.Jet.OLEDB.4.0; data source = \"/a;b/Vexilon.dat\" ;User ID=User;Password='p''w;x';"
      "Jet OLEDB:System Database=/s.sec;Jet OLEDB:Encrypt Database=True");
  EXPECT_EQ(cs.DataSource(), "/a;b/Vexilon.dat");
  EXPECT_EQ(cs.Password(), "p'w;x");
  EXPECT_EQ(cs.SystemDatabase(), "/s.sec");
  EXPECT_TRUE(cs.EncryptDatabase());
  for (std::string v : {"plain", "semi;colon", "quo\"te", "both'\"", " lead", ""}) {
    auto back = ConnectionString::Parse("Password=" + vx::archive::QuoteConnectionValue(v) + ";User ID=x");
    EXPECT_EQ(back.Password(), v);
    EXPECT_EQ(back.UserId(), "x");
  }
}

}  // namespace
