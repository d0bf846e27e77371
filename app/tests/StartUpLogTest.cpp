// The archive's write-ahead log at start-up: a fold of the log into the file
// cut short leaves an archive the next start opens with every row, and a log
// damaged between two runs stops the start, naming the log, with the archive,
// its log and its backup left as they were. Each start runs in a child process.
#include <signal.h>
#include <sqlcipher/sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "../../platform/archive/src/Secrets.h"
#include "archive/ArchiveFiles.h"
#include "archive/Connection.h"
#include "basMain.h"
#include "support/ChildStart.h"
#include "support/FaultyDisk.h"

namespace {

namespace fs = std::filesystem;
using shell_test::Damage;
using shell_test::Outcome;
using vx::app::StartUpResult;

constexpr int kStarted = static_cast<int>(StartUpResult::Started);

class StartUpLogTest : public shell_test::ChildStartTest {
 protected:
  std::string Prompt(const Outcome& o) const { return o.messages.empty() ? "" : o.messages[0].prompt.toStdString(); }
  void Put(const std::string& path, const QByteArray& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes.toStdString();
  }
};

// The start-up check folds the log into the archive, which grows: killed at any
// of the fold's writes to the file (the first page, with the new page count,
// comes before the file has grown), the next start opens it with every row.
TEST_F(StartUpLogTest, AFoldKilledAtAnyOfItsWritesLeavesAnArchiveTheNextStartOpens) {
  CompactArchive();
  LeaveRowsInTheLog();
  const std::string dat = File("Vexilon.dat");
  const QByteArray archive = Bytes(dat), log = Bytes(dat + "-wal"), index = Bytes(dat + "-shm");
  ASSERT_FALSE(log.isEmpty());
  int kills = 0;
  for (int write = 1; write < 400; ++write) {
    vx::archive::CloseArchive(dat);
    Put(dat, archive);
    Put(dat + "-wal", log);
    Put(dat + "-shm", index);
    const Outcome cut = StartInChild([&dat, write] {
      static shell_test::FaultyDisk disk;
      disk.KillAtWriteTo(dat, write);
    });
    if (!cut.killed) {
      EXPECT_EQ(cut.result, kStarted) << Prompt(cut);
      break;
    }
    ++kills;
    const Outcome next = StartInChild([] {});
    ASSERT_EQ(next.result, kStarted) << "killed at write " << write << ": " << Prompt(next);
    EXPECT_EQ(RegisteredServers(), 400) << "killed at write " << write;
  }
  EXPECT_GE(kills, 10);
}

// A log whose frames of an earlier round (already in the file) lie beyond the
// frames of its new round is what SQLite itself leaves: it is no damaged log.
TEST_F(StartUpLogTest, ALogOfANewRoundOverOlderFramesIsTakenIn) {
  const std::string dat = File("Vexilon.dat");
  const pid_t child = ::fork();
  if (child == 0) {
    FillArchive();
    sqlite3* db = nullptr;
    sqlite3_open(dat.c_str(), &db);
    const std::string sql = std::string("PRAGMA key = \"") + vx::archive::detail::kArchiveKey +
                            "\"; PRAGMA wal_checkpoint(PASSIVE);";
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) ::_exit(1);
    sqlite3_close(db);
    vx::archive::Connection c(vx::app::strDbConnectionString());
    c.Execute("qryAddSQLServer", {vx::archive::Parameter::Text("@SQLServerName", "ONE MORE", 128),
                                  vx::archive::Parameter::Byte("@LoginAuthenticationType", 1),
                                  vx::archive::Parameter::Text("@UserName", "", 128),
                                  vx::archive::Parameter::Text("@Password", "", 128,
                                                               vx::archive::ParamType::LongVarWChar)});
    ::raise(SIGKILL);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));
  const Outcome start = StartInChild([] {});
  EXPECT_EQ(start.result, kStarted) << Prompt(start);
  EXPECT_EQ(RegisteredServers(), 401);
}

struct LogDamage {
  const char* name;
  Damage damage;
  bool indexKept;     // the log's index "-shm" is left beside it
  const char* cause;  // how the message begins to say why
};

void PrintTo(const LogDamage& d, std::ostream* os) { *os << d.name; }

const LogDamage kLogDamages[] = {
    {"Header", Damage::Header, true, "its header is damaged"},
    {"Emptied", Damage::Empty, true, "it is empty, though its index"},
    {"Halved", Damage::Halved, true, "only 0 of the "},
    {"MiddleBlock", Damage::MiddleBlock, true, "only 0 of the "},
    {"HeaderWithoutIndex", Damage::Header, false, "its header is damaged"},
    {"MiddleBlockWithoutIndex", Damage::MiddleBlock, false, "its page "},
};

class DamagedLogStartUpTest : public StartUpLogTest, public ::testing::WithParamInterface<LogDamage> {};

// The rows of a run killed between two calls are in the log alone: a damaged
// log is never taken for no log (SQLite would drop its pages, and the fold
// would remove it).
TEST_P(DamagedLogStartUpTest, StopsNamingTheLogAndChangesNoFile) {
  const LogDamage& d = GetParam();
  const std::string dat = File("Vexilon.dat");
  CompactArchive();
  fs::copy_file(dat, File("Vexilon.bak"));
  LeaveRowsInTheLog();
  shell_test::DamageBytes(dat + "-wal", d.damage);
  if (!d.indexKept) fs::remove(dat + "-shm");
  const QByteArray archive = Bytes(dat), log = Bytes(dat + "-wal"), backup = Bytes(File("Vexilon.bak"));
  const Outcome start = StartInChild([] {});
  EXPECT_EQ(start.result, static_cast<int>(StartUpResult::ArchiveUnusable));
  ASSERT_EQ(start.messages.size(), 1u);
  EXPECT_EQ(start.messages[0].style, 16);
  const std::string prompt = Prompt(start);
  const std::string head = "Cannot start Vexilon.\r\n\r\nThe log '" + dat + "-wal' of the archive database '" + dat +
                           "' cannot be read: " + d.cause;
  EXPECT_EQ(prompt.substr(0, head.size()), head);
  EXPECT_TRUE(QString::fromStdString(prompt).endsWith(
      ". Rows committed to it may be in it alone, so the archive database and its log are left as they were."));
  EXPECT_EQ(Bytes(dat), archive);
  EXPECT_EQ(Bytes(dat + "-wal"), log);
  EXPECT_EQ(Bytes(File("Vexilon.bak")), backup);
}

INSTANTIATE_TEST_SUITE_P(Damages, DamagedLogStartUpTest, ::testing::ValuesIn(kLogDamages),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
