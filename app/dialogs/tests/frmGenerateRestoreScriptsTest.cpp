// The restore script dialog against the real engine and archive.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QPushButton>
#include <QRegularExpression>
#include <QTreeWidget>

#include "dialogs/frmGenerateRestoreScripts.h"
#include "dialogs/frmRestoreScriptsPreview.h"
#include "explorer/frmSQLServerExplorer.h"
#include "support/ExplorerTestSupport.h"
#include "vexilon_global/CGlobal.h"
#include "vexilon_lib/CVexilon.h"

namespace {

class RestoreScriptsTest : public ui_test::ExplorerTest {
 protected:
  int32_t db = 0;
  void SetUp() override {
    ExplorerTest::SetUp();
    db = MakeServer();
    RunOnSimServer("SIM1", "Shop",
                   "CREATE PROCEDURE dbo.pB AS SELECT 2\nGO\nCREATE PROCEDURE dbo.pA AS SELECT 1\nGO\n"
                   "CREATE PROCEDURE dbo.pNoArchive AS SELECT 3\nGO\n"
                   "CREATE TABLE dbo.Orders (id int)\nGO\nCREATE TRIGGER dbo.trOrders ON dbo.Orders FOR INSERT AS "
                   "SELECT 1\nGO\nCREATE FUNCTION dbo.f1 () RETURNS int AS BEGIN RETURN 1 END\nGO\n"
                   "CREATE VIEW dbo.v1 AS SELECT 1 AS one\nGO\n");
  }
  // Encrypts everything, with archiving except pNoArchive.
  void EncryptAll() {
    CVexilon& e = Check();
    for (const auto& p : e.GetStoredProcedures(db, vx::kTrue).arrObjects)
      p.strObjectName == "pNoArchive" ? e.EncryptStoredProcedure(db, p.lngID) : e.EncryptArchiveStoredProcedure(db, p.lngID);
    for (const auto& t : e.GetTriggers(db, vx::kTrue).arrObjects) e.EncryptArchiveTrigger(db, t.lngID, t.lngTableID);
    for (const auto& f : e.GetUserDefinedFunctions(db, vx::kTrue).arrObjects) e.EncryptArchiveUserDefinedFunction(db, f.lngID);
    for (const auto& v : e.GetViews(db, vx::kTrue).arrObjects) e.EncryptArchiveView(db, v.lngID);
    ASSERT_EQ(e.GetErrorsExist(), vx::kFalse);
  }
  void Fill(frmGenerateRestoreScripts& dialog) {
    dialog.SetSQLServer(Check().GetSQLServer());
    dialog.SetConnectionString(QString::fromStdString(Check().GetSQLServerConnectionString()));
    dialog.SetDatabaseID(db);
    dialog.FillfrmGenerateRestoreScripts();
  }
  QStringList Rows(const frmGenerateRestoreScripts& dialog) const {
    QStringList rows;
    for (int i = 0; i < dialog.lvwEncryptedObjects()->topLevelItemCount(); ++i) {
      const QTreeWidgetItem* r = dialog.lvwEncryptedObjects()->topLevelItem(i);
      rows << r->data(0, Qt::UserRole).toString().left(1) + " " + r->text(0);
    }
    return rows;
  }
  std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
};

TEST_F(RestoreScriptsTest, ListsArchivedEncryptedObjectsByKindWithWholeDates) {
  EncryptAll();
  frmGenerateRestoreScripts dialog;
  Fill(dialog);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(Rows(dialog), (QStringList{"C pA", "C pB", "K Orders:trOrders", "B f1", "H v1"}));
  const QTreeWidgetItem* first = dialog.lvwEncryptedObjects()->topLevelItem(0);
  EXPECT_EQ(first->text(1), "dbo");
  EXPECT_EQ(first->checkState(0), Qt::Unchecked);
  // The whole date and time, seconds included.
  EXPECT_TRUE(QRegularExpression("^\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d$").match(first->text(2)).hasMatch())
      << first->text(2).toStdString();
  EXPECT_EQ(frmGenerateRestoreScripts::DateCell("not a date"), "not a date");
  // It opens showing every column whole, without scrolling sideways.
  dialog.show();
  QApplication::processEvents();
  QTreeWidget* list = dialog.lvwEncryptedObjects();
  EXPECT_LE(list->header()->sectionPosition(2) + list->fontMetrics().horizontalAdvance(first->text(2)) + 8,
            list->viewport()->width());
  EXPECT_GE(list->columnWidth(2), list->fontMetrics().horizontalAdvance(first->text(2)) + 8);
  if (const char* shots = std::getenv("VX_SCREENSHOT_DIR")) {
    dialog.lvwEncryptedObjects()->topLevelItem(2)->setCheckState(0, Qt::Checked);
    dialog.show();
    dialog.grab().save(QString::fromLocal8Bit(shots) + "/restore-scripts.png");
  }
}

struct OptionRow {
  const char* name;
  bool create, drop, headers;
  const char* mustHave;
  const char* mustLack;
};
void PrintTo(const OptionRow& row, std::ostream* os) { *os << row.name; }
class RestoreScriptOptionsTest : public RestoreScriptsTest, public ::testing::WithParamInterface<OptionRow> {};

TEST_P(RestoreScriptOptionsTest, StartFromTheSettingsAndShapeTheFile) {
  const OptionRow& row = GetParam();
  CGlobal::Instance().GenerateCreateCommands(row.create ? vx::kTrue : vx::kFalse);
  CGlobal::Instance().GenerateDropCommands(row.drop ? vx::kTrue : vx::kFalse);
  CGlobal::Instance().IncludeHeaders(row.headers ? vx::kTrue : vx::kFalse);
  EncryptAll();
  frmGenerateRestoreScripts dialog;
  Fill(dialog);
  EXPECT_EQ(dialog.chkGenerateCreateCommands()->isChecked(), row.create);
  EXPECT_EQ(dialog.chkGenerateDropCommands()->isChecked(), row.drop);
  EXPECT_EQ(dialog.chkIncludeHeaders()->isChecked(), row.headers);
  EXPECT_EQ(dialog.cmdOK()->isEnabled(), row.create || row.drop);
  EXPECT_EQ(dialog.cmdPreview()->isEnabled(), row.create || row.drop);
  if (!row.create && !row.drop) {
    dialog.chkGenerateDropCommands()->click();
    EXPECT_TRUE(dialog.cmdOK()->isEnabled());
    return;
  }
  dialog.lvwEncryptedObjects()->topLevelItem(0)->setCheckState(0, Qt::Checked);
  const std::string path = ProgramFolder() + "script.sql";
  saveAsAnswers = {QString::fromStdString(path)};
  dialog.cmdOK_Click();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].prompt, "Restore SQL script generated successfully.");
  const std::string text = Read(path);
  EXPECT_NE(text.find("pA"), std::string::npos);
  EXPECT_EQ(text.find("pB"), std::string::npos);
  EXPECT_NE(text.find(row.mustHave), std::string::npos);
  EXPECT_EQ(text.find(row.mustLack), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Rows, RestoreScriptOptionsTest,
                         ::testing::Values(OptionRow{"CreateOnly", true, false, false, "CREATE PROCEDURE", "drop procedure"},
                                           OptionRow{"DropOnly", false, true, false, "drop procedure", "CREATE PROCEDURE"},
                                           OptionRow{"Neither", false, false, true, "", ""}),
                         [](const auto& info) { return std::string(info.param.name); });

// Save As: cancelled closes quietly; a path that cannot be written is a failed export.
struct SaveRow {
  const char* name;
  bool check;
  QString answer;
  const char* message;
  int style;
};
void PrintTo(const SaveRow& row, std::ostream* os) { *os << row.name; }
class RestoreScriptSaveTest : public RestoreScriptsTest, public ::testing::WithParamInterface<SaveRow> {};

TEST_P(RestoreScriptSaveTest, AnswersTheOutcome) {
  CGlobal::Instance().GenerateCreateCommands(vx::kTrue);
  EncryptAll();
  frmGenerateRestoreScripts dialog;
  Fill(dialog);
  if (GetParam().check) dialog.cmdSelectAll_Click();
  saveAsAnswers = {GetParam().answer};
  dialog.cmdOK_Click();
  EXPECT_TRUE(errorReports.empty());
  if (!*GetParam().message) {
    EXPECT_TRUE(messages.empty());
  } else {
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].prompt.toStdString(), GetParam().message);
    EXPECT_EQ(messages[0].style, GetParam().style);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RestoreScriptSaveTest,
    ::testing::Values(SaveRow{"NothingChecked", false, "", "There are no Stored Procedures selected.", 64},
                      SaveRow{"Cancelled", true, "", "", 0},
                      SaveRow{"Unwritable", true, "/nonexistent-vexilon-folder/x.sql",
                              "Failed to generate Restore SQL script.", 48}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RestoreScriptsTest, PreviewShowsTheScriptAndKeepsTheSelection) {
  EncryptAll();
  frmGenerateRestoreScripts dialog;
  Fill(dialog);
  dialog.cmdPreview_Click();
  EXPECT_EQ(messages.back().prompt, "There are no items selected.");
  dialog.lvwEncryptedObjects()->topLevelItem(1)->setCheckState(0, Qt::Checked);
  bool shown = false;
  modalHandlers.push_back([&](QDialog& d) {
    shown = dynamic_cast<frmRestoreScriptsPreview*>(&d) != nullptr;
    return 0;
  });
  dialog.cmdPreview_Click();
  EXPECT_TRUE(shown);
  EXPECT_EQ(dialog.lvwEncryptedObjects()->topLevelItem(1)->checkState(0), Qt::Checked);
  EXPECT_EQ(dialog.lvwEncryptedObjects()->topLevelItemCount(), 5);
}

// The explorer's command shows the window only when it lists something.
struct CommandRow {
  const char* name;
  bool encrypt;
  bool restoreAfter;
  bool dropUnarchived;
  const char* message;
  bool shown;
};
void PrintTo(const CommandRow& row, std::ostream* os) { *os << row.name; }
class RestoreScriptCommandTest : public RestoreScriptsTest, public ::testing::WithParamInterface<CommandRow> {};

TEST_P(RestoreScriptCommandTest, ShowsTheWindowOnlyWithRows) {
  if (GetParam().encrypt) EncryptAll();
  if (GetParam().restoreAfter) {
    CVexilon& e = Check();
    if (GetParam().dropUnarchived) RunOnSimServer("SIM1", "Shop", "DROP PROCEDURE dbo.pNoArchive");
    for (const auto& p : e.GetEncryptedStoredProcedures(db, vx::kTrue).arrObjects)
      e.RestoreObject(db, p.lngID, p.strObjectName, p.strOwnerName, ENU_OBT_STORED_PROCEDURE, vx::kFalse);
    for (const auto& v : e.GetEncryptedViews(db, vx::kTrue).arrObjects)
      e.RestoreObject(db, v.lngID, v.strObjectName, v.strOwnerName, ENU_OBT_VIEW, vx::kFalse);
    for (const auto& f : e.GetEncryptedUserDefinedFunctions(db, vx::kTrue).arrObjects)
      e.RestoreObject(db, f.lngID, f.strObjectName, f.strOwnerName, ENU_OBT_USER_DEFINED_FUNCTION, vx::kFalse);
    for (const auto& t : e.GetEncryptedTriggers(db, vx::kTrue).arrObjects)
      e.RestoreObject(db, t.lngID, t.strObjectName, t.strOwnerName, ENU_OBT_TRIGGER, vx::kFalse);
    // An archive row whose object is no longer encrypted.
    const auto procedures = e.GetStoredProcedures(db, vx::kTrue);
    for (const auto& p : procedures.arrObjects)
      if (p.strObjectName == "pA") e.EncryptArchiveStoredProcedure(db, p.lngID);
    RunOnSimServer("SIM1", "Shop", "ALTER PROCEDURE dbo.pA AS SELECT 1");
  }
  OpenExplorer();
  SelectDatabase(db);
  int shown = 0;
  modalHandlers.push_back([&](QDialog&) { return ++shown, 0; });
  Tool("miDbGenerateRestoreScripts");
  EXPECT_EQ(shown, GetParam().shown ? 1 : 0);
  if (*GetParam().message) {
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].prompt.toStdString(), GetParam().message);
  } else {
    EXPECT_TRUE(messages.empty());
  }
  EXPECT_TRUE(Explorer().isEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RestoreScriptCommandTest,
    ::testing::Values(CommandRow{"Listed", true, false, false, "", true},
                      CommandRow{"NoArchive", false, false, false, "There are no archived objects for 'Shop'.", false},
                      CommandRow{"EncryptedButNotArchived", true, true, false, "", false},
                      CommandRow{"NothingEncrypted", true, true, true,
                                 "Archived database objects exist for 'Shop', however there are no encrypted database "
                                 "objects in the database.\r\n\r\nThe encrypted database objects in 'Shop' must have "
                                 "been restored from another source or deleted.",
                                 false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
