// What the windows say after a run, driven as a user drives them: clicks on the
// tree's nodes, rows ticked with the mouse and Space, the context menus'
// entries, against temporary simulated servers.
#include <filesystem>

#include <QApplication>
#include <QMenu>
#include <QProgressBar>
#include <QTest>
#include <QTreeWidget>

#include "archive/FaultHook.h"
#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"
#include "explorer/frmSQLServerExplorer.h"
#include "frmApplication.h"
#include "sqlserver_sim/SimFolder.h"
#include "sqlserver_sim/SimServer.h"
#include "support/ExplorerTestSupport.h"
#include "support/QtPrinters.h"
#include "support/UserInput.h"
#include "vexilon_lib/CVexilon.h"

namespace {

class ExplorerOutcomesTest : public ui_test::ExplorerTest {
 protected:
  int32_t db = 0;
  QTreeWidget* Tree() { return Explorer().tvwSQLServerExplorer(); }
  QTreeWidgetItem* Node(const QString& key) { return Explorer().NodeByKey(key); }
  QString DatabaseKey() const { return QStringLiteral("D%1:SSIM1").arg(db); }
  QString FolderKey() const { return QStringLiteral("P%1:SSIM1").arg(db); }
  // A click on the server and on its "Databases" node, the node opened with the
  // Right key, and a click on the stored procedures folder.
  void OpenFolder() {
    ui_test::ClickNode(Tree(), Node("SSIM1"));
    ui_test::ClickNode(Tree(), Node("ASIM1"));
    QTest::keyClick(Tree(), Qt::Key_Right);
    QApplication::processEvents();
    ASSERT_NE(Node(FolderKey()), nullptr);
    ui_test::ClickNode(Tree(), Node(FolderKey()));
  }
  // A click on the row's name, then Space ticks it.
  void Tick(QTreeWidget* list, int row) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                      list->visualRect(list->model()->index(row, 0)).center());
    QTest::keyClick(list, Qt::Key_Space);
    ASSERT_EQ(list->topLevelItem(row)->checkState(0), Qt::Checked);
  }
  // The entry of the menu a right click on the node opens.
  void Choose(const QString& key, const QString& caption) {
    ASSERT_TRUE(ui_test::ClickMenuEntry(ui_test::RightClickNode(Tree(), Node(key)), caption)) << caption.toStdString();
    QApplication::processEvents();
  }
  QStringList Prompts() const {
    QStringList out;
    for (const auto& m : messages) out << m.prompt;
    return out;
  }
  // The log items whose message begins with `start`, as "object: message | script".
  QStringList LogItems(const std::string& start) {
    QStringList out;
    for (auto log = Check().GetLog(); !log.IsEOF(); log.MoveNext())
      if (log.Field("Message").ToText().rfind(start, 0) == 0) {
        auto item = Check().GetLog(log.Field("LogID").ToLong());
        out << QString::fromStdString(item.Field("ObjectName").ToText() + ": " + item.Field("Message").ToText() +
                                      " | " + item.Field("Script").ToText());
      }
    return out;
  }
};

// An encrypted object without an archive copy (encrypted before Vexilon) is
// not restored, and no restore path counts it as restored; the log keeps its
// item as it always read.
struct NoCopyRow {
  const char* name;
  bool database;  // the database's Restore All, else the folder's
  const char* entry;
  bool tick;
  const char* message;
};
void PrintTo(const NoCopyRow& row, std::ostream* os) { *os << row.name; }
class ExplorerNoCopyTest : public ExplorerOutcomesTest, public ::testing::WithParamInterface<NoCopyRow> {};

TEST_P(ExplorerNoCopyTest, IsNeverCountedAsRestored) {
  const NoCopyRow& row = GetParam();
  db = MakeServer();
  RunOnSimServer("SIM1", "Shop", "CREATE PROCEDURE dbo.ArchivedSecret WITH ENCRYPTION AS SELECT 1");
  AddProcedures("SIM1", 1);
  OpenExplorer();
  OpenFolder();
  ASSERT_EQ(Explorer().lvwEncryptedObjects()->topLevelItemCount(), 1);
  if (row.tick) Tick(Explorer().lvwEncryptedObjects(), 0);
  answers = {vx::app::vbYes};
  Choose(row.database ? DatabaseKey() : FolderKey(), row.entry);
  ASSERT_TRUE(errorReports.empty()) << errorReports.front().toStdString();
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back().prompt, row.message);
  EXPECT_EQ(messages.back().style, vx::app::vbExclamation);
  EXPECT_EQ(EncryptedCount(db, ENU_OBT_STORED_PROCEDURE), 1);
  EXPECT_EQ(LogItems("Restore"),
            QStringList{"ArchivedSecret: Restore error | Restore script does not exist in archive"});
  if (!row.database) {
    EXPECT_EQ(ui_test::ColumnTexts(Explorer().lvwEncryptedObjects(), 0), QStringList{"ArchivedSecret"});
    EXPECT_EQ(MainWindow()->StatusText(), "Stored Procedures: 2 items (1 encrypted)");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ExplorerNoCopyTest,
    ::testing::Values(
        NoCopyRow{"RestoreSelected", false, "Restore Selected", true,
                  "Errors occured during the restore and no items were restored. Please view the Vexilon log for "
                  "details."},
        NoCopyRow{"FolderRestoreAll", false, "Restore All", false,
                  "Errors occured during the restore and no items were restored. Please view the Vexilon log for "
                  "details."},
        NoCopyRow{"DatabaseRestoreAll", true, "Restore All", false,
                  "Errors occured during the restore and no database objects were restored. Please view the Vexilon "
                  "log for details."}),
    [](const auto& info) { return std::string(info.param.name); });

// A database's Encrypt All in which no object could be encrypted (here the
// archive refuses every record) does not claim that some were.
TEST_F(ExplorerOutcomesTest, ADatabaseRunThatEncryptsNothingClaimsNone) {
  db = MakeServer();
  AddProcedures("SIM1", 3);
  OpenExplorer();
  OpenFolder();
  vx::archive::SetFaultHook([](const std::string& operation) {
    if (operation == "qryAddArchivedObject") throw vx::ComError(vx::err::kDiskFull, "Archive", "The disk is full.");
  });
  answers = {vx::app::vbYes};
  Choose(DatabaseKey(), "Encrypt All");
  vx::archive::SetFaultHook(nullptr);
  ASSERT_TRUE(errorReports.empty()) << errorReports.front().toStdString();
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back().prompt,
            "Errors occured during encryption and no database objects were encrypted. Please view the Vexilon log "
            "for details.");
  EXPECT_EQ(EncryptedCount(db, ENU_OBT_STORED_PROCEDURE), 0);
}

// A run of 50 whose server sessions break after the tenth object: the bar goes,
// a log item and the closing message say where the run stopped, and the lists
// show what the server holds, or are emptied under the failed server's node
// when the server stays away.
struct LostRow {
  const char* name;
  bool restore;
  bool away;  // the server stays away: new connections fail too
};
void PrintTo(const LostRow& row, std::ostream* os) { *os << row.name; }
class ExplorerRunLostTest : public ExplorerOutcomesTest, public ::testing::WithParamInterface<LostRow> {};

TEST_P(ExplorerRunLostTest, EndsVisibly) {
  const LostRow& row = GetParam();
  db = MakeServer();
  AddProcedures("SIM1", 50);
  OpenExplorer();
  OpenFolder();
  if (row.restore) {
    answers = {vx::app::vbYes};
    Choose(FolderKey(), "Encrypt All");
    ASSERT_EQ(Explorer().lvwEncryptedObjects()->topLevelItemCount(), 50);
  }
  messages.clear();
  steps.clear();
  const std::string file = vx::sqlsim::ServerFilePath("SIM1", SimFolder());
  bool broken = false;
  onStep = [&](const ui_test::ProgressStep& s) {
    if (s.value != 10 || broken) return;
    broken = true;
    if (row.away) std::filesystem::rename(file, file + ".away");
    vx::sqlsim::SimServer::BreakSessions("SIM1");
  };
  answers = {vx::app::vbYes};
  Choose(FolderKey(), row.restore ? "Restore All" : "Encrypt All");
  onStep = nullptr;
  if (row.away) std::filesystem::rename(file + ".away", file);
  ASSERT_TRUE(errorReports.empty()) << errorReports.front().toStdString();

  const QString stopped = QString(row.restore ? "The restore" : "Encryption") +
                          " stopped after 10 of 50 objects because the connection to SQL Server 'SIM1' was lost.";
  QStringList expected{Prompts().value(0), stopped};
  if (row.away) expected << "Unable to connect to SQL Server 'SIM1'." << "Cannot connect to SQL Server 'SIM1'.";
  EXPECT_EQ(Prompts(), expected);
  EXPECT_EQ(steps.back().value, 10);
  EXPECT_TRUE(MainWindow()->prgProgress()->isHidden());
  const int encrypted = row.restore ? 40 : 10;
  if (row.away) {
    EXPECT_NE(Node("ISIM1"), nullptr);
    EXPECT_EQ(Explorer().lvwObjects()->topLevelItemCount(), 0);
    EXPECT_EQ(Explorer().lvwEncryptedObjects()->topLevelItemCount(), 0);
    EXPECT_FALSE(MainWindow()->StatusVisible());
  } else {
    EXPECT_EQ(Explorer().lvwObjects()->topLevelItemCount(), 50 - encrypted);
    EXPECT_EQ(Explorer().lvwEncryptedObjects()->topLevelItemCount(), encrypted);
    EXPECT_EQ(MainWindow()->StatusText(), QStringLiteral("Stored Procedures: 50 items (%1 encrypted)").arg(encrypted));
    EXPECT_TRUE(MainWindow()->StatusVisible());
  }
  EXPECT_EQ(EncryptedCount(db, ENU_OBT_STORED_PROCEDURE), encrypted);
  EXPECT_EQ(ArchivedCount(db), encrypted);
  const std::string verb = row.restore ? "Restore error: " : "Encryption error: ";
  // The eleventh object of the list, in its name order: p1, p10 ... p18, p19.
  EXPECT_EQ(LogItems(verb + "the connection"),
            QStringList{"p19: " + QString::fromStdString(verb) +
                        "the connection to the server was lost; the run stopped after 10 of 50 objects | "});
}

INSTANTIATE_TEST_SUITE_P(Rows, ExplorerRunLostTest,
                         ::testing::Values(LostRow{"EncryptServerAway", false, true},
                                           LostRow{"RestoreServerBack", true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// The Databases node's Refresh shows a database created since the server was
// connected, read from the server, not from what the connection read before.
TEST_F(ExplorerOutcomesTest, DatabasesRefreshShowsADatabaseCreatedSince) {
  db = MakeServer();
  OpenExplorer();
  OpenFolder();
  const int32_t later = vx::sqlsim::SimServer::Open("SIM1", SimFolder()).CreateDatabase("Warehouse");
  Choose("ASIM1", "Refresh");
  QTreeWidgetItem* node = Node(QStringLiteral("D%1:SSIM1").arg(later));
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->text(0), "Warehouse");
  EXPECT_NE(Node(DatabaseKey()), nullptr);
  EXPECT_TRUE(messages.empty());
}

// A folder's Refresh shows the objects made since, and the status text counts them.
TEST_F(ExplorerOutcomesTest, RefreshCountsWhatTheListsShow) {
  db = MakeServer();
  AddProcedures("SIM1", 10);
  OpenExplorer();
  OpenFolder();
  EXPECT_EQ(MainWindow()->StatusText(), "Stored Procedures: 10 items (0 encrypted)");
  AddProcedures("SIM1", 4, "q");
  Choose(FolderKey(), "Refresh");
  EXPECT_EQ(Explorer().lvwObjects()->topLevelItemCount(), 14);
  EXPECT_EQ(MainWindow()->StatusText(), "Stored Procedures: 14 items (0 encrypted)");
  EXPECT_TRUE(MainWindow()->StatusVisible());
}

// Dialogs and message boxes open centred on the window that opened them: the
// main window, which holds the explorer, also for the registration that the
// explorer asks for before it is shown.
TEST_F(ExplorerOutcomesTest, DialogsAndMessagesOpenOverTheMainWindow) {
  mainWindow->setGeometry(90, 60, 660, 480);  // inside the 800 x 600 offscreen screen
  mainWindow->show();
  QApplication::setActiveWindow(mainWindow.get());
  OpenExplorer();  // no server registered: the first registration
  mainWindow->ShowExplorer(&Explorer());
  QApplication::processEvents();
  ASSERT_EQ(placements.size(), 1u);
  MakeServer();
  Choose("E", "New SQL Server Registration...");
  ASSERT_EQ(placements.size(), 2u);
  // A message box: the question before a registration goes (answered No).
  Explorer().AddServerNode({"SIM1", ENU_LAT_SQLSERVER, "sa", "sa"});
  answers = {vx::app::vbNo};
  Choose("SSIM1", "Delete SQL Server Registration");
  ASSERT_EQ(placements.size(), 3u);
  EXPECT_EQ(placements.back().window, "QMessageBox");
  // A window not shown yet is placed by its frame's corner; its frame is
  // taken to be as wide as the main window's.
  const QPoint centre = mainWindow->frameGeometry().center();
  const QSize margins = mainWindow->frameGeometry().size() - mainWindow->geometry().size();
  for (const auto& p : placements) {
    const QRect frame(p.geometry.topLeft(), p.geometry.size() + margins);
    EXPECT_EQ(p.opener, mainWindow.get()) << p.window.toStdString();
    EXPECT_LE((frame.center() - centre).manhattanLength(), 2) << p.window.toStdString();
  }
}

}  // namespace
