// Start-up names the true cause of an archive it cannot use: only a damaged
// archive is called damaged, and only then is the backup offered in its place.
// Nothing is written to the archive or its backup, nor beside the backup. Each
// start runs in a child process, so that a disk that fails on cue, a kill at a
// sync, or a user other than root stays with the child.
#include <signal.h>
#include <sqlcipher/sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>

#include "../../platform/archive/src/Secrets.h"
#include "archive/ArchiveFiles.h"
#include "archive/Connection.h"
#include "basMain.h"
#include "support/FaultyDisk.h"
#include "support/ChildStart.h"

namespace {

// A lock refused for another reason than another process holding it (as on a
// file system without locks): flock of the file with this inode fails, ENOLCK.
std::atomic<ino_t> g_unlockableFile{0};

}  // namespace

extern "C" int flock(int fd, int operation) noexcept {
  struct stat st {};
  if (g_unlockableFile != 0 && ::fstat(fd, &st) == 0 && st.st_ino == g_unlockableFile) {
    errno = ENOLCK;
    return -1;
  }
  return static_cast<int>(::syscall(SYS_flock, fd, operation));
}

namespace {

namespace fs = std::filesystem;
using vx::app::StartUpResult;

using shell_test::kUnreachable;
using shell_test::Outcome;

class StartUpCausesTest : public shell_test::ChildStartTest {};

struct Cause {
  const char* name;
  bool asOtherUser;
  std::function<void(StartUpCausesTest&, const std::string& folder)> prepare;  // in the parent
  std::function<void(const std::string& folder)> inChild;                      // in the child, before the start
  StartUpResult result;
  std::function<std::string(const std::string& folder)> message;
};

void PrintTo(const Cause& cause, std::ostream* os) { *os << cause.name; }

const std::string kStop = "Cannot start Vexilon.\r\n\r\n";

const Cause kCauses[] = {
    {"ArchiveReadOnlyForItsUser", true, [](auto&, const std::string& p) { ::chmod((p + "Vexilon.dat").c_str(), 0400); },
     [](const std::string&) {}, StartUpResult::ArchiveUnusable,
     [](const std::string& p) {
       return kStop + "The archive database '" + p + "Vexilon.dat' cannot be opened: Permission denied.";
     }},
    {"LogIsAFolder", false, [](auto&, const std::string& p) { fs::create_directory(p + "Vexilon.dat-wal"); },
     [](const std::string&) {}, StartUpResult::ArchiveUnusable,
     [](const std::string& p) {
       return kStop + "The archive database '" + p + "Vexilon.dat' cannot be opened: '" + p +
              "Vexilon.dat-wal' beside it is not a file.";
     }},
    {"ProgramFolderReadOnly", true, [](auto&, const std::string&) {},
     [](const std::string& p) { ::chmod(p.c_str(), 0555); }, StartUpResult::ArchiveUnusable,
     [](const std::string& p) {
       return kStop + "The program folder '" + p +
              "' cannot be written: Permission denied. Vexilon keeps its workgroup file, the archive's log and its "
              "backup there.";
     }},
    {"NotAnArchive", false,
     [](auto&, const std::string& p) {
       fs::remove(p + "Vexilon.dat");
       sqlite3* db = nullptr;
       sqlite3_open((p + "Vexilon.dat").c_str(), &db);
       sqlite3_exec(db, "CREATE TABLE notes(t); INSERT INTO notes VALUES('a plain database')", nullptr, nullptr, nullptr);
       sqlite3_close(db);
     },
     [](const std::string&) {}, StartUpResult::ArchiveUnusable,
     [](const std::string& p) {
       return kStop + "The file '" + p +
              "Vexilon.dat' is not a Vexilon archive: it does not open with the archive's key, or its first page is "
              "damaged.\r\n\r\nA good backup of the archive is kept in '" + p +
              "Vexilon.bak'. Vexilon has changed neither file.";
     }},
    {"TruncatedArchiveOf4KBPages", false,
     [](StartUpCausesTest& t, const std::string& p) {
       t.CompactArchive();
       fs::resize_file(p + "Vexilon.dat", fs::file_size(p + "Vexilon.dat") / 2);
     },
     [](const std::string&) {}, StartUpResult::ArchiveDamaged,
     [](const std::string& p) {
       return kStop + "The archive database '" + p +
              "Vexilon.dat' is damaged: database disk image is malformed.\r\n\r\nA good backup of it is kept in '" + p +
              "Vexilon.bak': to go back to it, replace '" + p +
              "Vexilon.dat' with a copy of the backup. Vexilon has changed neither file.";
     }},
    {"AnotherArchivesLog", false,
     [](auto&, const std::string& p) {
       // A log of another archive (its own salt, so its own page keys),
       // taken while that archive was open.
       const std::string other = p + "../Other.dat";
       vx::archive::CreateArchive(other);
       sqlite3* db = nullptr;
       sqlite3_open(other.c_str(), &db);
       const std::string sql = std::string("PRAGMA key = \"") + vx::archive::detail::kArchiveKey +
                               "\"; PRAGMA journal_mode = WAL; CREATE TABLE notes(t); INSERT INTO notes "
                               "VALUES(randomblob(3000));";
       sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
       vx::archive::CloseArchive(p + "Vexilon.dat");
       fs::copy_file(other + "-wal", p + "Vexilon.dat-wal");
       sqlite3_close(db);
     },
     [](const std::string&) {}, StartUpResult::ArchiveUnusable,
     [](const std::string& p) {
       return kStop + "The log '" + p + "Vexilon.dat-wal' of the archive database '" + p +
              "Vexilon.dat' cannot be read: its pages do not open with the archive database's key, though the "
              "archive database alone opens and passes its check: it is another archive's log, or it is damaged. "
              "Rows committed to it may be in it alone, so the archive database and its log are left as they were.";
     }},
    {"ArchiveIsADirectory", false,
     [](auto&, const std::string& p) {
       vx::archive::CloseArchive(p + "Vexilon.dat");
       fs::remove(p + "Vexilon.dat");
       fs::create_directory(p + "Vexilon.dat");
     },
     [](const std::string&) {}, StartUpResult::ArchiveUnusable,
     [](const std::string& p) {
       return kStop + "The archive database '" + p + "Vexilon.dat' cannot be opened: it is a directory, not a file.";
     }},
    {"ArchiveCannotBeLocked", false, [](auto&, const std::string&) {},
     [](const std::string& p) {
       struct stat st {};
       if (::stat((p + "Vexilon.dat").c_str(), &st) == 0) g_unlockableFile = st.st_ino;
     },
     StartUpResult::ArchiveUnusable,
     [](const std::string& p) {
       return kStop + "The archive database '" + p + "Vexilon.dat' cannot be locked: No locks available.";
     }},
    {"DiskFullWhileTheLogIsTakenIn", false, [](StartUpCausesTest& t, const std::string&) { t.LeaveRowsInTheLog(); },
     [](const std::string& p) {
       static shell_test::FaultyDisk disk;
       disk.FailWritesTo(p + "Vexilon.dat", SQLITE_FULL);
     },
     StartUpResult::ArchiveUnusable,
     [](const std::string& p) {
       return kStop + "The log '" + p + "Vexilon.dat-wal' cannot be taken into the archive database '" + p +
              "Vexilon.dat': the disk is full. Every row is still in the archive database and its log.";
     }},
    {"DiskFailsWhileTheLogIsTakenIn", false, [](StartUpCausesTest& t, const std::string&) { t.LeaveRowsInTheLog(); },
     [](const std::string& p) {
       static shell_test::FaultyDisk disk;
       disk.FailWritesTo(p + "Vexilon.dat", SQLITE_IOERR_WRITE);
     },
     StartUpResult::ArchiveUnusable,
     [](const std::string& p) {
       return kStop + "The log '" + p + "Vexilon.dat-wal' cannot be taken into the archive database '" + p +
              "Vexilon.dat': the disk reported an input/output error. Every row is still in the archive database "
              "and its log.";
     }},
};

class StartUpCauseTest : public StartUpCausesTest, public ::testing::WithParamInterface<Cause> {};

TEST_P(StartUpCauseTest, SaysTheTrueCauseAndWritesNothing) {
  const Cause& cause = GetParam();
  const std::string p = ProgramFolder();
  fs::copy_file(File("Vexilon.dat"), File("Vexilon.bak"));
  cause.prepare(*this, p);
  const QByteArray archive = Bytes(File("Vexilon.dat")), backup = Bytes(File("Vexilon.bak"));
  const QByteArray log = Bytes(File("Vexilon.dat-wal"));
  const Outcome outcome = StartInChild([&] { cause.inChild(p); }, cause.asOtherUser);
  if (outcome.result == kUnreachable) GTEST_SKIP() << "an unprivileged user cannot reach the test's folders here";
  ::chmod(p.c_str(), 0700);
  EXPECT_EQ(outcome.result, static_cast<int>(cause.result));
  ASSERT_EQ(outcome.messages.size(), 1u);
  EXPECT_EQ(outcome.messages[0].prompt.toStdString(), cause.message(p));
  EXPECT_EQ(outcome.messages[0].style, 16);
  EXPECT_EQ(Bytes(File("Vexilon.bak")), backup);
  EXPECT_FALSE(fs::exists(File("Vexilon.bak-wal")));
  EXPECT_FALSE(fs::exists(File("Vexilon.bak-shm")));
  EXPECT_EQ(Bytes(File("Vexilon.dat-wal")), log);
  if (!fs::exists(File("Vexilon.dat-wal")) || fs::is_directory(File("Vexilon.dat-wal")))
    EXPECT_EQ(Bytes(File("Vexilon.dat")), archive);
  else if (cause.name == std::string("DiskFullWhileTheLogIsTakenIn") ||
           cause.name == std::string("DiskFailsWhileTheLogIsTakenIn")) {
    // With a sound disk again the next start takes the log in, every row with it.
    EXPECT_EQ(StartInChild([] {}).result, static_cast<int>(StartUpResult::Started));
    EXPECT_EQ(RegisteredServers(), 400);
  }
}

INSTANTIATE_TEST_SUITE_P(Causes, StartUpCauseTest, ::testing::ValuesIn(kCauses),
                         [](const auto& info) { return std::string(info.param.name); });

// A second start on the archive of a running instance ends, however it reaches
// the file; a start on another archive runs beside it.
struct SecondStart {
  const char* name;
  // Prepares the second start's way to the archive of `first` (the first
  // instance's program folder, with its "/"); returns that start's program folder.
  std::function<std::string(const std::string& first)> reach;
  const char* runtime;  // the second start's own $XDG_RUNTIME_DIR, or null
  StartUpResult result;
};

const SecondStart kSecondStarts[] = {
    {"SameFolder", [](const std::string& first) { return first; }, nullptr, StartUpResult::OtherInstanceActivated},
    {"FolderThroughASymbolicLink",
     [](const std::string& first) {
       fs::create_directory_symlink(fs::path(first).parent_path(), first + "../linked");
       return first + "../linked/";
     },
     nullptr, StartUpResult::OtherInstanceActivated},
    {"ArchiveASymbolicLink",
     [](const std::string& first) {
       fs::create_directories(first + "../other");
       fs::create_symlink(first + "Vexilon.dat", first + "../other/Vexilon.dat");
       return first + "../other/";
     },
     nullptr, StartUpResult::OtherInstanceActivated},
    {"ArchiveAHardLink",
     [](const std::string& first) {
       fs::create_directories(first + "../other");
       fs::create_hard_link(first + "Vexilon.dat", first + "../other/Vexilon.dat");
       return first + "../other/";
     },
     nullptr, StartUpResult::OtherInstanceActivated},
    {"AnotherRuntimeFolder", [](const std::string& first) { return first; }, "runtime-other",
     StartUpResult::OtherInstanceActivated},
    {"ACopyOfTheArchive",
     [](const std::string& first) {
       fs::create_directories(first + "../other");
       fs::copy_file(first + "Vexilon.dat", first + "../other/Vexilon.dat");
       return first + "../other/";
     },
     nullptr, StartUpResult::Started},
};

void PrintTo(const SecondStart& second, std::ostream* os) { *os << second.name; }

class SecondStartTest : public StartUpCausesTest, public ::testing::WithParamInterface<SecondStart> {};

TEST_P(SecondStartTest, EndsOnTheSameArchiveAndRunsOnAnother) {
  const SecondStart& second = GetParam();
  ASSERT_EQ(vx::app::StartUp(), StartUpResult::Started);
  const std::string folder = second.reach(ProgramFolder());
  const std::string runtime = second.runtime ? ProgramFolder() + "../" + second.runtime : "";
  if (!runtime.empty()) fs::create_directories(runtime);
  const QByteArray archive = Bytes(File("Vexilon.dat"));
  const Outcome outcome = StartInChild([&] {
    ::setenv("VEXILON_PROGRAM_DIR", folder.c_str(), 1);
    if (!runtime.empty()) ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  });
  EXPECT_EQ(outcome.result, static_cast<int>(second.result));
  EXPECT_TRUE(outcome.messages.empty());
  EXPECT_EQ(Bytes(File("Vexilon.dat")), archive);
}

INSTANTIATE_TEST_SUITE_P(Reaches, SecondStartTest, ::testing::ValuesIn(kSecondStarts),
                         [](const auto& info) { return std::string(info.param.name); });

// A start killed at any of its syncs (the archive's switch to its log, the
// upgrade of an older archive, the settings, the workgroup file) never leaves a
// sound archive refused: the next start rolls back what SQLite must roll back,
// and starts.
TEST_F(StartUpCausesTest, AStartKilledAtAnyOfItsSyncsLeavesAnArchiveTheNextStartOpens) {
  // The archive as an earlier version left it: in rollback-journal mode, which
  // the first open by this one switches to the write-ahead log.
  FillArchive();
  vx::archive::CloseArchive(File("Vexilon.dat"));
  {
    sqlite3* db = nullptr;
    sqlite3_open(File("Vexilon.dat").c_str(), &db);
    const std::string sql = std::string("PRAGMA key = \"") + vx::archive::detail::kArchiveKey +
                            "\"; PRAGMA journal_mode = DELETE;";
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
  }
  const QByteArray original = Bytes(File("Vexilon.dat"));
  int kills = 0;
  for (int sync = 1; sync < 80; ++sync) {
    fs::remove(File("Vexilon.dat-journal"));
    fs::remove(File("Vexilon.dat-wal"));
    fs::remove(File("Vexilon.dat-shm"));
    std::ofstream(File("Vexilon.dat"), std::ios::binary | std::ios::trunc) << original.toStdString();
    const Outcome cut = StartInChild([sync] {
      static shell_test::FaultyDisk disk;
      disk.KillAtSync(sync);
    });
    if (!cut.killed) {
      EXPECT_EQ(cut.result, static_cast<int>(StartUpResult::Started));
      break;
    }
    ++kills;
    const Outcome next = StartInChild([] {});
    ASSERT_EQ(next.result, static_cast<int>(StartUpResult::Started))
        << "killed at sync " << sync << ": "
        << (next.messages.empty() ? std::string() : next.messages[0].prompt.toStdString());
    EXPECT_EQ(RegisteredServers(), 400) << "killed at sync " << sync;
  }
  EXPECT_GT(kills, 2);
}

// Settings can be made again: a damaged settings store is set aside under a
// name of its own, the program starts on the defaults and says so, once.
TEST_F(StartUpCausesTest, ADamagedSettingsStoreIsSetAsideAndTheStartSaysSoOnce) {
  const std::string config = ProgramFolder() + "../config/";
  const std::string store = config + "vexilon/registry/HKEY_CURRENT_USER.db";
  fs::create_directories(config + "vexilon/registry");
  std::ofstream(store) << std::string(4096, 'x');
  const Outcome first = StartInChild([&] { ::setenv("XDG_CONFIG_HOME", config.c_str(), 1); });
  EXPECT_EQ(first.result, static_cast<int>(StartUpResult::Started));
  std::vector<fs::path> aside;
  for (const auto& entry : fs::directory_iterator(config + "vexilon/registry"))
    if (entry.path().filename().string().rfind("HKEY_CURRENT_USER.db.damaged-", 0) == 0) aside.push_back(entry.path());
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_EQ(Bytes(aside[0].string()), QByteArray(4096, 'x'));
  ASSERT_EQ(first.messages.size(), 1u);
  EXPECT_EQ(first.messages[0].style, 48);
  EXPECT_EQ(first.messages[0].prompt.toStdString(),
            "The settings store '" + store + "' was damaged (it is not a database). It was set aside as '" +
                aside[0].string() + "', and the settings start again from their defaults.");
  const Outcome second = StartInChild([&] { ::setenv("XDG_CONFIG_HOME", config.c_str(), 1); });
  EXPECT_EQ(second.result, static_cast<int>(StartUpResult::Started));
  EXPECT_TRUE(second.messages.empty());
}

// At start and exit the program removes only the copies its own backup left
// when it was cut short; a user's files beside the backup stay, whatever their
// names.
TEST_F(StartUpCausesTest, OnlyTheBackupsOwnLeftOverCopyIsRemoved) {
  const std::vector<std::string> users = {"Vexilon.bak.before", "Vexilon.bak.saved1", "Vexilon.bak.old"};
  for (const auto& name : users) std::ofstream(File(name.c_str())) << "the user's own " << name;
  const std::string cutShort = shell_test::LeaveCopyCutShort(ProgramFolder(), "Zx9Q2w");
  ASSERT_EQ(vx::app::StartUp(), StartUpResult::Started);
  EXPECT_FALSE(fs::exists(cutShort));
  const std::string cutAgain = shell_test::LeaveCopyCutShort(ProgramFolder(), "a1B2c3");
  vx::app::ExitApp();
  EXPECT_FALSE(fs::exists(cutAgain));
  for (const auto& name : users) EXPECT_EQ(Bytes(File(name.c_str())), QByteArray::fromStdString("the user's own " + name));
}

}  // namespace
