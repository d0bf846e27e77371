// Exit against a temporary program folder: backup, compaction into a checked
// copy, removal of the workgroup file, and one run whatever leads to it.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>

#include "archive/ArchiveFiles.h"
#include "archive/Connection.h"
#include "basMain.h"
#include "frmApplication.h"
#include "support/ShellTestSupport.h"
#include "vexilon_lib/CVexilon.h"

namespace {

namespace fs = std::filesystem;

class ExitTest : public shell_test::ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    vx::app::NewEngine()->RegisterSQLServer("VEXEXIT", ENU_LAT_SQLSERVER, "sa", "secret");
    vx::archive::CloseArchive(File("Vexilon.dat"));  // the file alone, as exit finds it
    Age(File("Vexilon.dat"));
    before_ = Bytes(File("Vexilon.dat"));
  }
  // Last written a minute ago: the backup is then copied while the archive is
  // checked (a file written just now is copied after the check).
  static void Age(const std::string& path) {
    struct timespec times[2] {};
    ::clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= 60;
    times[1] = times[0];
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
  }
  void ExpectNoPartialCopy() {
    for (const auto& e : fs::directory_iterator(ProgramFolder()))
      EXPECT_EQ(e.path().filename().string().find(".vexilon-partial-copy-"), std::string::npos) << e.path();
  }
  int32_t ServersInArchive() {
    vx::archive::CreateWorkgroup(File("Vexilon.sec"));
    return vx::app::NewEngine()->GetSQLServerCount();
  }
  QByteArray before_;
};

TEST_F(ExitTest, BacksUpCompactsIntoACheckedCopyAndRemovesTheWorkgroupFile) {
  vx::app::ExitApp();
  EXPECT_EQ(endCodes, std::vector<int>{0});
  EXPECT_TRUE(errorReports.empty());
  EXPECT_EQ(Bytes(File("Vexilon.bak")), before_);
  EXPECT_FALSE(fs::exists(File("Vexilon.tmp")));
  EXPECT_FALSE(fs::exists(File("Vexilon.sec")));
  for (const char* f : {"Vexilon.dat", "Vexilon.bak"}) EXPECT_EQ(Mode(File(f)), 0600) << f;
  for (const auto& e : fs::directory_iterator(ProgramFolder()))  // no temporary names left, no log
    EXPECT_TRUE(e.path().filename().string().rfind("Vexilon.", 0) == 0 && e.path().filename().string().size() == 11)
        << e.path();
  EXPECT_EQ(ServersInArchive(), 1);
}

TEST_F(ExitTest, ACopyLeftByAnEarlierExitIsRemovedFirst) {
  std::ofstream(File("Vexilon.tmp")) << "half a copy";
  vx::app::ExitApp();
  EXPECT_TRUE(errorReports.empty());
  EXPECT_EQ(endCodes, std::vector<int>{0});
  EXPECT_FALSE(fs::exists(File("Vexilon.tmp")));
  EXPECT_EQ(ServersInArchive(), 1);
}

TEST_F(ExitTest, AnArchiveThatIsASymbolicLinkIsCompactedWhereItLiesAndTheLinkStays) {
  const std::string elsewhere = ProgramFolder() + "../elsewhere/Vexilon.dat";
  fs::create_directories(ProgramFolder() + "../elsewhere");
  fs::rename(File("Vexilon.dat"), elsewhere);
  fs::create_symlink(elsewhere, File("Vexilon.dat"));
  vx::app::ExitApp();
  EXPECT_TRUE(errorReports.empty());
  EXPECT_EQ(endCodes, std::vector<int>{0});
  EXPECT_TRUE(fs::is_symlink(File("Vexilon.dat")));
  EXPECT_NE(Bytes(elsewhere), before_);  // the compacted copy
  EXPECT_EQ(Bytes(File("Vexilon.bak")), before_);
  EXPECT_EQ(ServersInArchive(), 1);
}

TEST_F(ExitTest, AMissingWorkgroupFileSkipsCompaction) {
  fs::remove(File("Vexilon.sec"));
  vx::app::ExitApp();
  EXPECT_EQ(endCodes, std::vector<int>{0});
  EXPECT_TRUE(errorReports.empty());
  EXPECT_EQ(Bytes(File("Vexilon.bak")), before_);
  EXPECT_EQ(Bytes(File("Vexilon.dat")), before_);
}

TEST_F(ExitTest, AFailedCompactionLeavesTheArchiveAsItWasAndSaysSo) {
  fs::create_directories(File("Vexilon.tmp/in-the-way"));  // the copy's name is taken
  vx::app::ExitApp();
  ASSERT_EQ(errorReports.size(), 1u);
  EXPECT_TRUE(errorReports[0].contains("Procedure:CompactDb")) << errorReports[0].toStdString();
  EXPECT_TRUE(errorReports[0].contains("stays as it was")) << errorReports[0].toStdString();
  EXPECT_EQ(endCodes, std::vector<int>{1});
  EXPECT_EQ(Bytes(File("Vexilon.dat")), before_);
  EXPECT_EQ(Bytes(File("Vexilon.bak")), before_);
  EXPECT_TRUE(fs::exists(File("Vexilon.sec")));  // the later step stays undone
}

// Copies an exit cut short left are removed; a user's files stay, whatever
// their names look like.
TEST_F(ExitTest, RemovesTheCopiesAnExitCutShortLeftAndNothingElse) {
  const struct {
    const char* name;
    mode_t mode;
    bool removed;
  } files[] = {{"Vexilon.bak.vexilon-partial-copy-a1B2c3", 0600, true},
               {"Vexilon.tmp.vexilon-partial-copy-a1B2c3", 0600, true},
               {"Vexilon.tmp.vexilon-partial-copy-a1B2c3d", 0600, false},
               {"Vexilon.dat.vexilon-partial-copy-a1B2c3", 0600, false},
               {"Vexilon.tmp.vexilon-partial-copy-x1y2z3", 0644, false}};
  for (const auto& f : files) {
    std::ofstream(File(f.name)) << "part";
    ASSERT_EQ(::chmod(File(f.name).c_str(), f.mode), 0);
  }
  vx::app::ExitApp();
  EXPECT_TRUE(errorReports.empty());
  for (const auto& f : files) EXPECT_EQ(fs::exists(File(f.name)), !f.removed) << f.name;
}

// The compacted copy is begun while the archive is checked and backed up; a
// row written meanwhile is not in that copy, so compaction copies the archive
// again, even when it rests once more.
TEST_F(ExitTest, ARowWrittenAfterTheCopyWasBegunAheadIsInTheCompactedArchive) {
  {
    const auto ahead = vx::app::BeginCompaction();
    ASSERT_TRUE(ahead);
    ASSERT_TRUE(vx::app::BackupDb());
    vx::app::NewEngine()->RegisterSQLServer("VEXLATE", ENU_LAT_SQLSERVER, "sa", "secret");
    vx::archive::CloseArchive(File("Vexilon.dat"));
    Age(File("Vexilon.dat"));
    ASSERT_TRUE(vx::app::CompactDb());
  }
  EXPECT_TRUE(errorReports.empty());
  EXPECT_NE(Bytes(File("Vexilon.dat")), before_);
  ExpectNoPartialCopy();
  EXPECT_EQ(ServersInArchive(), 2);
}

// Rows of the last calls may still be in the log, the file itself untouched for
// a while: the backup holds them too.
TEST_F(ExitTest, TheBackupHoldsTheRowsStillInTheLog) {
  vx::app::NewEngine()->RegisterSQLServer("VEXLOG", ENU_LAT_SQLSERVER, "sa", "secret");
  ASSERT_GT(fs::file_size(File("Vexilon.dat-wal")), 0u);
  Age(File("Vexilon.dat"));
  ASSERT_TRUE(vx::app::BackupDb());
  vx::archive::CloseArchive(File("Vexilon.dat"));
  fs::copy_file(File("Vexilon.bak"), File("Vexilon.dat"), fs::copy_options::overwrite_existing);
  EXPECT_EQ(ServersInArchive(), 2);
  ExpectNoPartialCopy();
}

// An archive held open elsewhere cannot be checked: it is neither backed up
// nor compacted, and the earlier backup stays.
TEST_F(ExitTest, AnArchiveHeldElsewhereKeepsTheEarlierBackupAndSaysSo) {
  std::ofstream(File("Vexilon.bak")) << "the earlier backup";
  const int held = HoldFile(File("Vexilon.dat"));
  ASSERT_GE(held, 0);
  vx::app::ExitApp();
  ::close(held);
  ASSERT_EQ(errorReports.size(), 1u);
  EXPECT_TRUE(errorReports[0].contains("Procedure:BackupDb")) << errorReports[0].toStdString();
  EXPECT_TRUE(errorReports[0].contains("was kept as it was")) << errorReports[0].toStdString();
  EXPECT_EQ(endCodes, std::vector<int>{1});
  EXPECT_EQ(Bytes(File("Vexilon.dat")), before_);
  EXPECT_EQ(Bytes(File("Vexilon.bak")), "the earlier backup");
  EXPECT_FALSE(fs::exists(File("Vexilon.tmp")));
}

// A damaged archive never replaces its good backup nor itself: the user is told
// in plain words, and both files stay byte for byte. A temporary copy left by
// a backup cut short goes.
class DamagedArchiveExitTest : public ExitTest, public ::testing::WithParamInterface<shell_test::Damage> {};

TEST_P(DamagedArchiveExitTest, KeepsTheBackupAndTheArchiveAndSaysSo) {
  FillArchive();
  ASSERT_TRUE(vx::app::BackupDb());
  const QByteArray backup = Bytes(File("Vexilon.bak"));
  shell_test::DamageFile(File("Vexilon.dat"), GetParam());
  Age(File("Vexilon.dat"));
  const QByteArray damaged = Bytes(File("Vexilon.dat"));
  const std::string cutShort = shell_test::LeaveCopyCutShort(ProgramFolder(), "q7Xz2K");
  vx::app::ExitApp();
  EXPECT_EQ(endCodes, std::vector<int>{1});
  EXPECT_TRUE(errorReports.empty());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].style, 48);
  const QString prompt = messages[0].prompt;
  EXPECT_TRUE(prompt.startsWith(QString::fromStdString("Vexilon could not back up the archive database.\r\n\r\n" +
                                                       shell_test::FindingOf(GetParam(), File("Vexilon.dat")))))
      << prompt.toStdString();
  EXPECT_TRUE(prompt.endsWith(QString::fromStdString(
      "The earlier backup '" + File("Vexilon.bak") +
      "' was kept as it was. The archive database was neither backed up nor compacted, and stays as it is.")))
      << prompt.toStdString();
  EXPECT_EQ(Bytes(File("Vexilon.bak")), backup);
  EXPECT_EQ(Bytes(File("Vexilon.dat")), damaged);
  EXPECT_FALSE(fs::exists(cutShort));
  ExpectNoPartialCopy();
  // Compaction on its own refuses the file too.
  EXPECT_FALSE(vx::app::CompactDb());
  ASSERT_EQ(errorReports.size(), 1u);
  EXPECT_TRUE(errorReports[0].contains("Procedure:CompactDb")) << errorReports[0].toStdString();
  EXPECT_TRUE(errorReports[0].contains(QString::fromStdString(shell_test::FindingOf(GetParam(), File("Vexilon.dat")))))
      << errorReports[0].toStdString();
  EXPECT_EQ(Bytes(File("Vexilon.dat")), damaged);
  EXPECT_FALSE(fs::exists(File("Vexilon.tmp")));
}

INSTANTIATE_TEST_SUITE_P(Damages, DamagedArchiveExitTest,
                         ::testing::Values(shell_test::Damage::Halved, shell_test::Damage::Empty,
                                           shell_test::Damage::Header, shell_test::Damage::MiddleBlock),
                         [](const auto& info) { return std::string(shell_test::DamageName(info.param)); });

// Every normal exit compacts: an archive with many free pages into a smaller
// file, one with few all the same. Both are backed up as they were, and the
// compacted archive holds every row. Compaction on its own checks the archive
// while it copies it, and the copy holds every row too.
struct FreeSpace {
  const char* name;
  bool serversRemoved;  // the rows of FillArchive removed again: their pages are free
  bool compactionAlone = false;  // CompactDb without the backup's check before it
};
void PrintTo(const FreeSpace& row, std::ostream* os) { *os << row.name; }

class FreeSpaceExitTest : public ExitTest, public ::testing::WithParamInterface<FreeSpace> {};

TEST_P(FreeSpaceExitTest, CompactsEveryArchiveAndKeepsEveryRow) {
  FillArchive();
  if (GetParam().serversRemoved) {
    vx::archive::Connection c(vx::app::strDbConnectionString());
    c.BeginTrans();
    for (int i = 0; i < 400; ++i)
      c.Execute("qryDeleteSQLServer",
                {vx::archive::Parameter::Text("@SQLServerName", "SERVER" + std::to_string(i), 128)});
    c.CommitTrans();
  }
  vx::archive::CloseArchive(File("Vexilon.dat"));  // the file alone, as exit finds it
  Age(File("Vexilon.dat"));
  const QByteArray before = Bytes(File("Vexilon.dat"));
  if (GetParam().compactionAlone) {
    EXPECT_TRUE(vx::app::CompactDb());
  } else {
    vx::app::ExitApp();
    EXPECT_EQ(endCodes, std::vector<int>{0});
    EXPECT_EQ(Bytes(File("Vexilon.bak")), before);
  }
  EXPECT_TRUE(errorReports.empty());
  EXPECT_NE(Bytes(File("Vexilon.dat")), before);  // the compacted copy took its place
  if (GetParam().serversRemoved) {
    EXPECT_LT(fs::file_size(File("Vexilon.dat")), static_cast<uintmax_t>(before.size()));
  }
  EXPECT_FALSE(fs::exists(File("Vexilon.tmp")));
  EXPECT_EQ(Mode(File("Vexilon.dat")), 0600);
  EXPECT_EQ(ServersInArchive(), GetParam().serversRemoved ? 1 : 401);
}

INSTANTIATE_TEST_SUITE_P(Archives, FreeSpaceExitTest,
                         ::testing::Values(FreeSpace{"ManyFreePages", true}, FreeSpace{"FewFreePages", false},
                                           FreeSpace{"CompactionAlone", false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ExitTest, RunsOnceWhicheverPathLeadsToItWithTheExplorerClosedFirst) {
  ASSERT_EQ(vx::app::StartUp(), vx::app::StartUpResult::Started);
  vx::app::InstallTerminationHandler();
  MainWindow()->Tool("miFiExit")->trigger();
  EXPECT_TRUE(MainWindow()->MdiArea()->subWindowList().isEmpty() ||
              !MainWindow()->MdiArea()->subWindowList().first()->isVisible());
  MainWindow()->close();
  ::raise(SIGTERM);
  WaitFor([] { return false; }, 200);
  EXPECT_EQ(endCodes, std::vector<int>{0});
  EXPECT_TRUE(fs::exists(File("Vexilon.bak")));
}

TEST_F(ExitTest, ATerminationSignalDuringABatchWaitsForItsEnd) {
  ASSERT_EQ(vx::app::StartUp(), vx::app::StartUpResult::Started);
  vx::app::InstallTerminationHandler();
  MainWindow()->SetBatchRunning(true);
  MainWindow()->close();  // held back too
  ::raise(SIGTERM);
  WaitFor([] { return false; }, 200);
  EXPECT_TRUE(endCodes.empty());
  MainWindow()->SetBatchRunning(false);
  EXPECT_TRUE(WaitFor([this] { return !endCodes.empty(); }));
  EXPECT_EQ(endCodes, std::vector<int>{0});
}

}  // namespace
