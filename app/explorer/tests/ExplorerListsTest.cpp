// The explorer's object lists: fills from the server and from a folder's cache,
// archive states, columns of each kind, sorting, status texts, menu enabling,
// keyboard use and the viewers.
#include <cstdlib>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QFocusEvent>
#include <QMenu>
#include <QRegularExpression>
#include <QTest>
#include <QTreeWidget>

#include "automation/DateText.h"
#include "basMain.h"
#include "basUtilities.h"
#include "dialogs/frmObjectText.h"
#include "explorer/frmSQLServerExplorer.h"
#include "sqlserver_sim/SimServer.h"
#include "support/ExplorerWindowTest.h"
#include "support/QtPrinters.h"
#include "support/UserInput.h"
#include "vexilon_lib/CVexilon.h"

namespace {

using ui_test::ExplorerWindowTest;

class ExplorerListsTest : public ExplorerWindowTest {
 protected:
  // SIM1 with procedures p1..p5: p1, p2 plain; p3 archived and encrypted; p4
  // encrypted without archiving; p5 archived and encrypted.
  void SetUp() override {
    ExplorerWindowTest::SetUp();
    shop = MakeServer("SIM1");
    for (int i = 1; i <= 5; ++i)
      RunOnSimServer("SIM1", "Shop", "CREATE PROCEDURE dbo.p" + std::to_string(i) + " AS SELECT " + std::to_string(i));
    RunOnSimServer("SIM1", "Shop", "CREATE TABLE dbo.t1 (a int)");
    Register("SIM1");
    engine = vx::app::NewEngine();
    UDT_LOGIN_CREDENTIALS c{"SIM1", ENU_LAT_SQLSERVER, "sa", "sa"};
    engine->ConnectServer(c);
    const auto procs = engine->GetStoredProcedures(shop, vx::kTrue);
    for (const auto& p : procs.arrObjects) ids[p.strObjectName] = p.lngID;
    engine->EncryptArchiveStoredProcedure(shop, ids["p3"]);
    engine->EncryptStoredProcedure(shop, ids["p4"]);
    engine->EncryptArchiveStoredProcedure(shop, ids["p5"]);
  }
  QStringList Column(QTreeWidget* list, int column) {
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i) out << list->topLevelItem(i)->text(column);
    return out;
  }
  QStringList Titles(QTreeWidget* list) {
    QStringList out;
    for (int c = 0; c < list->columnCount(); ++c) out << list->headerItem()->text(c);
    return out;
  }
  int32_t shop = 0;
  std::map<std::string, int32_t> ids;
  std::unique_ptr<CVexilon> engine;
};

TEST_F(ExplorerListsTest, EngineFillThenCacheWithArchiveStates) {
  frmSQLServerExplorer& x = Open();
  ClickFolder('P', shop, "SIM1");
  EXPECT_EQ(Column(x.lvwObjects(), 0), QStringList({"p1", "p2"}));
  EXPECT_EQ(Column(x.lvwEncryptedObjects(), 0), QStringList({"p3", "p4", "p5"}));
  EXPECT_EQ(Column(x.lvwEncryptedObjects(), 3), QStringList({"Yes", "No", "Yes"}));
  EXPECT_EQ(Column(x.lvwEncryptedObjects(), 5), QStringList({"Matches", "", "Matches"}));
  EXPECT_EQ(frmSQLServerExplorer::NodeKey(x.lvwObjects()->topLevelItem(0)), QStringLiteral("X%1").arg(ids["p1"]));
  EXPECT_EQ(frmSQLServerExplorer::NodeKey(x.lvwEncryptedObjects()->topLevelItem(0)),
            QStringLiteral("C%1").arg(ids["p3"]));
  EXPECT_EQ(x.lvwObjects()->topLevelItem(0)->checkState(0), Qt::Unchecked);
  EXPECT_EQ(x.StatusText(), "Stored Procedures: 5 items (3 encrypted)");
  // Dates: the whole engine text read back, shown as dd/mm/yyyy hh:nn:ss, made just now.
  const QString created = x.lvwObjects()->topLevelItem(0)->text(2);
  ASSERT_TRUE(QRegularExpression("^\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d$").match(created).hasMatch()) << created.toStdString();
  const QDateTime when = QDateTime::fromString(created, "dd/MM/yyyy HH:mm:ss");
  EXPECT_LT(std::abs(when.secsTo(QDateTime::currentDateTime())), 600);
  EXPECT_EQ(x.lvwEncryptedObjects()->topLevelItem(0)->text(4).size(), 19);

  // The cache holds the server's objects as they were; the archive is read afresh.
  UDT_NODE_OBJECTS_CONTAINER cached;
  ASSERT_TRUE(x.FolderTag(Node(FolderKey('P', shop, "SIM1")), cached));
  EXPECT_EQ(cached, typCurrentNodeObjectContainer);
  RunOnSimServer("SIM1", "Shop", "CREATE PROCEDURE dbo.p6 AS SELECT 6");
  engine->RestoreObject(shop, ids["p3"], "p3", "dbo", ENU_OBT_STORED_PROCEDURE, vx::kFalse);  // its record goes
  x.tvwSQLServerExplorer_LButtonDown(Node("SSIM1"));  // clears the lists
  EXPECT_FALSE(x.StatusVisible());
  EXPECT_EQ(x.lvwObjects()->columnCount(), 0);
  ClickFolder('P', shop, "SIM1");
  EXPECT_EQ(Column(x.lvwObjects(), 0), QStringList({"p1", "p2"}));
  EXPECT_EQ(Column(x.lvwEncryptedObjects(), 0), QStringList({"p3", "p4", "p5"}));
  EXPECT_EQ(Column(x.lvwEncryptedObjects(), 3), QStringList({"No", "No", "Yes"}));
  // A press on the folder the lists show refills nothing.
  x.lvwObjects()->topLevelItem(0)->setCheckState(0, Qt::Checked);
  ClickFolder('P', shop, "SIM1");
  EXPECT_EQ(x.lvwObjects()->topLevelItem(0)->checkState(0), Qt::Checked);
  EXPECT_TRUE(errorReports.empty());
}

// ---- header clicks on a filled list: every click sorts, the other way than the
// last, with the direction picture on the clicked header only; dates by value.
struct HeaderRow {
  const char* name;
  bool encrypted;
  int column;
  std::vector<const char*> ascending;  // the names in ascending order of that column
};
void PrintTo(const HeaderRow& row, std::ostream* os) { *os << row.name; }

class ExplorerHeaderTest : public ExplorerListsTest, public ::testing::WithParamInterface<HeaderRow> {};

TEST_P(ExplorerHeaderTest, EveryClickSortsTheOtherWay) {
  const HeaderRow& row = GetParam();
  RunOnSimServer("SIM1", "Shop", "CREATE PROCEDURE dbo.p6 AS SELECT 6\nGO\nCREATE PROCEDURE dbo.p7 AS SELECT 7");
  frmSQLServerExplorer& x = Open();
  ClickFolder('P', shop, "SIM1");
  // The folder's cache gets creation dates on both sides of the twelfth; the
  // folder is then filled from it by a click, as a user comes back to it.
  const std::map<std::string, vx::DateParts> created{
      {"p1", {2024, 4, 3, 10, 0, 0}},  {"p2", {2023, 12, 25, 9, 0, 0}}, {"p6", {2024, 11, 5, 8, 0, 0}},
      {"p7", {2024, 1, 13, 7, 0, 0}},  {"p3", {2024, 12, 1, 6, 0, 0}},  {"p4", {2024, 2, 14, 5, 0, 0}},
      {"p5", {2024, 6, 30, 4, 0, 0}}};
  UDT_NODE_OBJECTS_CONTAINER cached;
  ASSERT_TRUE(x.FolderTag(Node(FolderKey('P', shop, "SIM1")), cached));
  for (auto* objects : {&cached.typObjectContainer.arrObjects, &cached.typEncryptedObjectContainer.arrObjects})
    for (UDT_OBJECT& o : *objects) {
      vx::OleDate date = 0;
      ASSERT_TRUE(vx::DatePartsToOle(created.at(o.strObjectName), date));
      o.strCreateDate = vx::DateToText(date);
    }
  x.SetFolderTag(Node(FolderKey('P', shop, "SIM1")), cached);
  ui_test::ClickNode(x.tvwSQLServerExplorer(), Node("SSIM1"));
  ui_test::ClickNode(x.tvwSQLServerExplorer(), Node(FolderKey('P', shop, "SIM1")));
  QTreeWidget* list = row.encrypted ? x.lvwEncryptedObjects() : x.lvwObjects();
  QStringList up;
  for (const char* name : row.ascending) up << name;
  QStringList down = up;
  std::reverse(down.begin(), down.end());
  ASSERT_EQ(list->topLevelItemCount(), up.size());

  const QImage ascendingPicture = vx::app::ImageListIcon("imlColumnHeaderIcons", "A").pixmap(12).toImage();
  const QImage descendingPicture = vx::app::ImageListIcon("imlColumnHeaderIcons", "D").pixmap(12).toImage();
  for (int click = 1; click <= 3; ++click) {
    SCOPED_TRACE(click);
    ui_test::ClickHeader(list, row.column);
    const bool descending = click % 2 == 1;
    EXPECT_EQ(Column(list, 0), descending ? down : up);
    EXPECT_EQ(list->property("Tag").toString(), descending ? "1" : "0");
    EXPECT_EQ(ui_test::SectionsWithPicture(list), QList<int>{row.column});
    EXPECT_EQ(list->headerItem()->icon(row.column).pixmap(12).toImage(),
              descending ? descendingPicture : ascendingPicture);
  }
  if (const char* shots = std::getenv("VX_SCREENSHOT_DIR"))
    x.grab().save(QString::fromLocal8Bit(shots) + "/explorer-sorted-" + row.name + ".png");
  // Another header: the next direction, and the picture moves there.
  const int other = row.column == 0 ? 1 : 0;
  ui_test::ClickHeader(list, other);
  EXPECT_EQ(list->property("Tag").toString(), "0");
  EXPECT_EQ(ui_test::SectionsWithPicture(list), QList<int>{other});
  EXPECT_TRUE(errorReports.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ExplorerHeaderTest,
    ::testing::Values(HeaderRow{"ObjectsByName", false, 0, {"p1", "p2", "p6", "p7"}},
                      HeaderRow{"ObjectsByDateCreated", false, 2, {"p2", "p7", "p1", "p6"}},
                      HeaderRow{"EncryptedByDateCreated", true, 2, {"p4", "p5", "p3"}},
                      HeaderRow{"EncryptedByName", true, 0, {"p3", "p4", "p5"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ExplorerListsTest, ArchivedVersionAgainstTheLiveOne) {
  frmSQLServerExplorer& x = Open();
  ClickFolder('P', shop, "SIM1");
  UDT_NODE_OBJECTS_CONTAINER objects = typCurrentNodeObjectContainer;
  auto& enc = objects.typEncryptedObjectContainer.arrObjects;
  ASSERT_EQ(enc.size(), 3u);
  enc[0].lngSchemaVersion += 1;  // live newer than its archived copy
  enc[2].lngSchemaVersion -= 1;  // live older than its archived copy
  x.InitLVStoredProcedures();
  x.InitLVEncryptedStoredProcedures();
  x.FillLVStoredProceduresFromContainer(shop, objects);
  EXPECT_EQ(Column(x.lvwEncryptedObjects(), 5), QStringList({"Older", "", "Newer"}));
}

TEST_F(ExplorerListsTest, ColumnsOfEachKind) {
  frmSQLServerExplorer& x = Open();
  const QStringList plain{"Name", "Owner", "Date Created"};
  const QStringList plainTriggers{"Name", "Table", "Owner", "Date Created"};
  const QStringList archive{"Archived", "Date Archived", "Archive Version"};
  struct Row {
    char letter;
    QStringList objects;
  } rows[] = {{'P', plain}, {'T', plainTriggers}, {'F', plain}, {'V', plain}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.letter);
    ClickFolder(row.letter, shop, "SIM1");
    EXPECT_EQ(Titles(x.lvwObjects()), row.objects);
    EXPECT_EQ(Titles(x.lvwEncryptedObjects()), row.objects + archive);
    EXPECT_EQ(x.lvwObjects()->property("Tag").toString(), "0");
  }
}

TEST_F(ExplorerListsTest, DateHeaderSortFlipsTheOrder) {
  frmSQLServerExplorer& x = Open();
  ClickFolder('P', shop, "SIM1");
  x.lvwEncryptedObjects_ColumnClick(4);  // "Date Archived"
  EXPECT_EQ(x.lvwEncryptedObjects()->property("Tag").toString(), "1");
  x.lvwEncryptedObjects_ColumnClick(0);
  EXPECT_EQ(x.lvwEncryptedObjects()->property("Tag").toString(), "0");
  EXPECT_EQ(x.lvwEncryptedObjects()->topLevelItemCount(), 3);
  EXPECT_TRUE(errorReports.empty());
}

TEST_F(ExplorerListsTest, RightClickEnablesTheFolderToolsByWhatTheListsHold) {
  frmSQLServerExplorer& x = Open();
  OpenDatabases("SIM1");
  struct Row {
    char letter;
    const char* tag;
    const char* status;
    bool plain, encrypted;
  } rows[] = {{'P', "St", "Stored Procedures: 5 items (3 encrypted)", true, true},
              {'T', "Tr", "Triggers: 0 items (0 encrypted)", false, false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.tag);
    x.tvwSQLServerExplorer_RButtonDown(Node(FolderKey(row.letter, shop, "SIM1")), QPoint(10, 10));
    const QString t = QLatin1String(row.tag);
    EXPECT_EQ(x.ExplorerTool("mi" + t + "EncryptAll")->isEnabled(), row.plain);
    EXPECT_EQ(x.ExplorerTool("mi" + t + "EncryptSelected")->isEnabled(), row.plain);
    EXPECT_EQ(x.ExplorerTool("mi" + t + "RestoreAll")->isEnabled(), row.encrypted);
    EXPECT_EQ(x.ExplorerTool("mi" + t + "RestoreSelected")->isEnabled(), row.encrypted);
    EXPECT_EQ(x.StatusText(), QLatin1String(row.status));
    QMenu* menu = x.Band(row.letter == 'P' ? "pomStoredProcedures" : "pomTriggers");
    EXPECT_TRUE(menu->isVisible());
    menu->hide();
  }
  EXPECT_EQ(x.ExplorerTool("miViEncryptAll")->text(), "Encryt All");
  // The database menu: enabled on a usable database; the root's menu on the root.
  x.tvwSQLServerExplorer_RButtonDown(Node(QStringLiteral("D%1:SSIM1").arg(shop)), QPoint(10, 10));
  EXPECT_TRUE(x.Band("pomDatabase")->isVisible());
  EXPECT_TRUE(x.ExplorerTool("miDbEncryptAll")->isEnabled());
  x.Band("pomDatabase")->hide();
  x.tvwSQLServerExplorer_RButtonDown(Node("E"), QPoint(10, 10));
  EXPECT_TRUE(x.Band("pomSQLServers")->isVisible());
  EXPECT_EQ(x.LoginCredentials().enumLoginAuthenticationType, 0);
  x.Band("pomSQLServers")->hide();
}

TEST_F(ExplorerListsTest, ContextMenuKeyOpensTheSameMenu) {
  frmSQLServerExplorer& x = Open();
  OpenDatabases("SIM1");
  x.tvwSQLServerExplorer()->setCurrentItem(Node(FolderKey('T', shop, "SIM1")));
  QTest::keyClick(x.tvwSQLServerExplorer(), Qt::Key_F10, Qt::ShiftModifier);
  EXPECT_TRUE(x.Band("pomTriggers")->isVisible());
  EXPECT_FALSE(x.ExplorerTool("miTrEncryptAll")->isEnabled());
  x.Band("pomTriggers")->hide();
  // Moving to the stored procedures folder with a key fills the lists as a click does.
  x.tvwSQLServerExplorer()->setFocus();
  QTest::keyClick(x.tvwSQLServerExplorer(), Qt::Key_Up);
  Settle();
  EXPECT_EQ(x.StatusText(), "Stored Procedures: 5 items (3 encrypted)");
}

TEST_F(ExplorerListsTest, MousePressesOnTheTree) {
  frmSQLServerExplorer& x = Open();
  QTreeWidget* tree = x.tvwSQLServerExplorer();
  // The branch arrow opens "Databases" without a click on it.
  const QRect databases = tree->visualItemRect(Node("ASIM1"));
  QTest::mousePress(tree->viewport(), Qt::LeftButton, {}, QPoint(databases.left() - 8, databases.center().y()));
  Settle();
  QTreeWidgetItem* folder = Node(FolderKey('P', shop, "SIM1"));
  ASSERT_NE(folder, nullptr);
  EXPECT_NE(tree->currentItem(), Node("ASIM1"));
  Node(QStringLiteral("D%1:SSIM1").arg(shop))->setExpanded(true);
  Settle();
  const QPoint at = tree->visualItemRect(folder).center();
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
  EXPECT_EQ(tree->currentItem(), folder);
  EXPECT_EQ(x.StatusText(), "Stored Procedures: 5 items (3 encrypted)");
  QContextMenuEvent menu(QContextMenuEvent::Mouse, at, tree->viewport()->mapToGlobal(at));
  QApplication::sendEvent(tree->viewport(), &menu);
  EXPECT_TRUE(x.Band("pomStoredProcedures")->isVisible());
  x.Band("pomStoredProcedures")->hide();
}

TEST_F(ExplorerListsTest, FolderWhoseConnectionFailsEmptiesTheLists) {
  frmSQLServerExplorer& x = Open();
  ClickFolder('P', shop, "SIM1");
  ASSERT_EQ(x.lvwObjects()->topLevelItemCount(), 2);
  // A second registration of a server that does not answer, with a folder of its own.
  Register("GONE");
  CreateSimServer("GONE", "sa");
  const int32_t gone = vx::sqlsim::SimServer::Open("GONE", SimFolder()).CreateDatabase("Shop");
  frmSQLServerExplorer& y = Open();
  OpenDatabases("GONE");
  ClickFolder('P', shop, "SIM1");
  vx::sqlsim::SimServer::Remove("GONE", SimFolder());
  y.tvwSQLServerExplorer_RButtonDown(Node(FolderKey('P', gone, "GONE")), QPoint(10, 10));
  EXPECT_EQ(y.lvwObjects()->topLevelItemCount(), 0);
  EXPECT_EQ(y.lvwEncryptedObjects()->topLevelItemCount(), 0);
  EXPECT_FALSE(y.ExplorerTool("miStEncryptSelected")->isEnabled());
  EXPECT_FALSE(y.ExplorerTool("miStRestoreSelected")->isEnabled());
  EXPECT_NE(Node("IGONE"), nullptr);
  y.Band("pomStoredProcedures")->hide();
  // The folder's own commands, chosen from the menu still showing, find no folder.
  y.acbSQLServerExplorer_ToolClick("miStRefresh");
  y.acbSQLServerExplorer_ToolClick("miStEncryptAll");
  EXPECT_TRUE(errorReports.empty());
}

TEST_F(ExplorerListsTest, ViewingAnObjectEncryptedMeanwhileSaysSoAndRefreshes) {
  frmSQLServerExplorer& x = Open();
  ClickFolder('P', shop, "SIM1");
  // Enter on an object opens its viewer.
  bool viewed = false;
  modalHandlers.push_back([&](QDialog& d) {
    viewed = dynamic_cast<frmObjectText*>(&d) != nullptr;
    return 0;
  });
  x.lvwObjects()->setCurrentItem(x.lvwObjects()->topLevelItem(0));
  QTest::keyClick(x.lvwObjects(), Qt::Key_Space);  // Space checks
  EXPECT_EQ(x.lvwObjects()->topLevelItem(0)->checkState(0), Qt::Checked);
  QTest::keyClick(x.lvwObjects(), Qt::Key_Return);
  EXPECT_TRUE(viewed);
  // p2 is encrypted elsewhere, then p1 dropped.
  struct Step {
    const char* script;
    int row;
    QStringList left;
  } steps[] = {{"", 1, {"p1"}}, {"DROP PROCEDURE dbo.p1", 0, {}}};
  engine->EncryptStoredProcedure(shop, ids["p2"]);
  for (const Step& step : steps) {
    if (*step.script) RunOnSimServer("SIM1", "Shop", step.script);
    messages.clear();
    x.ViewObject(x.lvwObjects()->topLevelItem(step.row));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].prompt.startsWith("This object no longer exists"));
    EXPECT_EQ(Column(x.lvwObjects(), 0), step.left);
  }
  EXPECT_EQ(x.lvwObjects()->topLevelItemCount(), 0);
  EXPECT_EQ(Column(x.lvwEncryptedObjects(), 0), QStringList({"p2", "p3", "p4", "p5"}));
  EXPECT_TRUE(errorReports.empty());
}

TEST_F(ExplorerListsTest, ListFocusGoingToAMenuKeepsTheSelectedList) {
  frmSQLServerExplorer& x = Open();
  EXPECT_EQ(x.ListViewSelected(), 0);
  ClickFolder('P', shop, "SIM1");
  x.lvwEncryptedObjects_GotFocus();
  x.lvwEncryptedObjects_LostFocus(Qt::PopupFocusReason);
  EXPECT_EQ(x.ListViewSelected(), ENU_LVS_ENCRYPTED_OBJECTS);
  x.lvwEncryptedObjects_LostFocus(Qt::MenuBarFocusReason);
  EXPECT_EQ(x.ListViewSelected(), ENU_LVS_ENCRYPTED_OBJECTS);
  x.lvwEncryptedObjects_LostFocus(Qt::MouseFocusReason);
  EXPECT_EQ(x.ListViewSelected(), ENU_NONE);
}

}  // namespace
