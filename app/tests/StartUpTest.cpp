// Start-up against a temporary program folder: the archive files, the checks
// that stop it, and one instance per program folder.
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <QDialog>
#include <QMdiArea>

#include "CSingleInstance.h"
#include "archive/RunLock.h"
#include "archive_template/WorkgroupResource.h"
#include "basMain.h"
#include "frmApplication.h"
#include "support/ShellTestSupport.h"
#include "tarnwell/CRegistry.h"

namespace {

namespace fs = std::filesystem;
using vx::app::StartUpResult;

class StartUpTest : public shell_test::ShellTest {
 protected:
  QByteArray Resource() const {
    return QByteArray(reinterpret_cast<const char*>(vx::archive::WorkgroupResourceData()),
                      qsizetype(vx::archive::WorkgroupResourceSize()));
  }
};

TEST_F(StartUpTest, WritesTheSettingsAndWorkgroupFileAndShowsTheWindows) {
  int splashes = 0;
  modalHandlers.push_back([&](QDialog& d) { splashes += d.objectName() == "frmSplash"; return 1; });
  ASSERT_EQ(vx::app::StartUp(), StartUpResult::Started);
  EXPECT_EQ(splashes, 1);
  ASSERT_NE(MainWindow(), nullptr);
  EXPECT_TRUE(MainWindow()->windowTitle().startsWith("Morvane Vexilon 1.0 (for SQL Server 2000)"));
  EXPECT_NE(MainWindow()->Explorer(), nullptr);
  EXPECT_EQ(Bytes(File("Vexilon.sec")), Resource());
  EXPECT_EQ(Mode(File("Vexilon.sec")), 0600);
  CRegistry registry;
  registry.OpenKey(CurrentUser, "SOFTWARE\\Morvane\\Vexilon");
  EXPECT_EQ(registry.ReadValue("ApplicationPath"), ProgramFolder());
  EXPECT_EQ(registry.ReadValue("VersionInfo"), "1.0.1");
  EXPECT_TRUE(errorReports.empty());
}

TEST_F(StartUpTest, AReadOnlyWorkgroupFileLeftBehindIsReplaced) {
  std::ofstream(File("Vexilon.sec"), std::ios::trunc) << "left from a crashed run";
  fs::permissions(File("Vexilon.sec"), fs::perms::owner_read);
  ASSERT_EQ(vx::app::StartUp(), StartUpResult::Started);
  EXPECT_EQ(Bytes(File("Vexilon.sec")), Resource());
  EXPECT_EQ(Mode(File("Vexilon.sec")), 0600);
}

TEST_F(StartUpTest, AMissingArchiveStopsBeforeTheWorkgroupFileIsWritten) {
  fs::remove(File("Vexilon.dat"));
  fs::remove(File("Vexilon.sec"));
  EXPECT_EQ(vx::app::StartUp(), StartUpResult::ArchiveMissing);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].prompt, "Cannot start Vexilon.\r\n\r\nVexilon was unable to open the archive database.");
  EXPECT_EQ(messages[0].style, 16);
  EXPECT_FALSE(fs::exists(File("Vexilon.sec")));
  EXPECT_EQ(MainWindow(), nullptr);
}

TEST_F(StartUpTest, AnArchiveHeldByAnotherProcessStopsWithItsMessage) {
  const int held = HoldFile(File("Vexilon.dat"));
  ASSERT_GE(held, 0);
  EXPECT_EQ(vx::app::StartUp(), StartUpResult::ArchiveHeld);
  ::close(held);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].prompt, "Cannot start Vexilon.\r\n\r\nThe Vexilon archive database is already open.");
  EXPECT_EQ(messages[0].style, 16);
  EXPECT_EQ(MainWindow(), nullptr);
}

// A damaged archive stops the start with its own message, naming the file, the
// cause and the good backup; neither file is touched. A temporary copy left by
// a backup cut short goes.
class DamagedArchiveStartUpTest : public StartUpTest, public ::testing::WithParamInterface<shell_test::Damage> {};

TEST_P(DamagedArchiveStartUpTest, StopsWithItsMessageAndTouchesNeitherFile) {
  FillArchive();
  fs::copy_file(File("Vexilon.dat"), File("Vexilon.bak"));
  shell_test::DamageFile(File("Vexilon.dat"), GetParam());
  const QByteArray archive = Bytes(File("Vexilon.dat")), backup = Bytes(File("Vexilon.bak"));
  const std::string cutShort = shell_test::LeaveCopyCutShort(ProgramFolder(), "a1B2c3");
  const bool damaged = shell_test::FoundDamaged(GetParam());
  EXPECT_EQ(vx::app::StartUp(), damaged ? StartUpResult::ArchiveDamaged : StartUpResult::ArchiveUnusable);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].style, 16);
  const QString prompt = messages[0].prompt;
  EXPECT_TRUE(prompt.startsWith(QString::fromStdString("Cannot start Vexilon.\r\n\r\n" +
                                                       shell_test::FindingOf(GetParam(), File("Vexilon.dat")))))
      << prompt.toStdString();
  // Only a damaged archive is one to replace with its backup.
  const std::string backupNote =
      damaged ? "A good backup of it is kept in '" + File("Vexilon.bak") + "': to go back to it, replace '" +
                    File("Vexilon.dat") + "' with a copy of the backup."
              : "A good backup of the archive is kept in '" + File("Vexilon.bak") + "'.";
  EXPECT_TRUE(prompt.endsWith(QString::fromStdString(".\r\n\r\n" + backupNote + " Vexilon has changed neither file.")))
      << prompt.toStdString();
  EXPECT_EQ(Bytes(File("Vexilon.dat")), archive);
  EXPECT_EQ(Bytes(File("Vexilon.bak")), backup);
  // Checking the backup made nothing beside it.
  EXPECT_FALSE(fs::exists(File("Vexilon.bak-wal")));
  EXPECT_FALSE(fs::exists(File("Vexilon.bak-shm")));
  EXPECT_FALSE(fs::exists(cutShort));
  EXPECT_EQ(MainWindow(), nullptr);
  EXPECT_TRUE(errorReports.empty());
  EXPECT_TRUE(endCodes.empty());
}

INSTANTIATE_TEST_SUITE_P(Damages, DamagedArchiveStartUpTest,
                         ::testing::Values(shell_test::Damage::Halved, shell_test::Damage::Empty,
                                           shell_test::Damage::Header, shell_test::Damage::MiddleBlock),
                         [](const auto& info) { return std::string(shell_test::DamageName(info.param)); });

// A run killed between two calls leaves the archive's log beside it. When the
// archive is then found damaged, the log stays as it was, and the message says
// it goes with the damaged file: read into the backup put in its place, it
// would spoil it.
TEST_F(StartUpTest, ADamagedArchiveKeepsItsLogAndTheMessageSaysItGoesWithIt) {
  fs::copy_file(File("Vexilon.dat"), File("Vexilon.bak"));
  ASSERT_TRUE(FillArchiveAndKill());
  ASSERT_TRUE(fs::exists(File("Vexilon.dat-wal")));
  fs::resize_file(File("Vexilon.dat"), fs::file_size(File("Vexilon.dat")) / 2);
  const QByteArray archive = Bytes(File("Vexilon.dat")), log = Bytes(File("Vexilon.dat-wal"));
  EXPECT_EQ(vx::app::StartUp(), StartUpResult::ArchiveDamaged);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(messages[0].prompt.endsWith(QString::fromStdString(
      "with a copy of the backup, and remove the damaged file's log '" + File("Vexilon.dat-wal") + "' and '" +
      File("Vexilon.dat-shm") + "' with it. Vexilon has changed neither file.")))
      << messages[0].prompt.toStdString();
  EXPECT_EQ(Bytes(File("Vexilon.dat")), archive);
  EXPECT_EQ(Bytes(File("Vexilon.dat-wal")), log);
}

TEST_F(StartUpTest, ASecondStartBringsTheFirstToTheFrontBeforeItsSplash) {
  ASSERT_EQ(vx::app::StartUp(), StartUpResult::Started);
  MainWindow()->showMinimized();
  ASSERT_TRUE(MainWindow()->isMinimized());
  int shown = 0;
  modalHandlers.push_back([&](QDialog&) { return ++shown; });
  EXPECT_EQ(vx::app::StartUp(), StartUpResult::OtherInstanceActivated);
  EXPECT_EQ(shown, 0);  // no splash
  EXPECT_TRUE(WaitFor([] { return !MainWindow()->isMinimized(); }));
}

TEST_F(StartUpTest, ALockLeftByAKilledInstanceDoesNotBlockTheNextStart) {
  const CSingleInstance names(QString::fromStdString(ProgramFolder()));
  std::ofstream(names.ServerPath().toStdString()) << "stale socket";
  const pid_t child = ::fork();
  if (child == 0) {
    vx::archive::RunLock::Outcome outcome{};
    auto lock = vx::archive::RunLock::Take(File("Vexilon.dat"), outcome);
    if (lock) ::raise(SIGKILL);
    ::_exit(1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(vx::app::StartUp(), StartUpResult::Started);
}

}  // namespace
