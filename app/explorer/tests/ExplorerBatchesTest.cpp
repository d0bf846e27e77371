// Encrypt and restore of a folder's checked objects, against the real engine
// on temporary simulated servers.
#include <QTreeWidget>

#include "explorer/frmSQLServerExplorer.h"
#include "frmApplication.h"
#include "sqlserver_sim/SimServer.h"
#include "support/ExplorerTestSupport.h"
#include "vexilon_global/CGlobal.h"
#include "vexilon_lib/CVexilon.h"

namespace {

using ui_test::ExplorerTest;

class ExplorerBatchesTest : public ExplorerTest {
 protected:
  int32_t db = 0;
  void SetUp() override {
    ExplorerTest::SetUp();
    db = MakeServer();
    AddProcedures("SIM1", 3);
    OpenExplorer();
  }
  QString LastMessage() const { return messages.empty() ? QString() : messages.back().prompt; }
};

TEST_F(ExplorerBatchesTest, CheckedItemsAreEncryptedAndTheBarWalksEveryItem) {
  ClickFolder(ENU_OBT_STORED_PROCEDURE, db);
  CheckItems(false, {0, 2});
  Explorer().EncryptSelected();
  std::vector<int> values;
  for (const auto& s : steps) values.push_back(s.value);
  EXPECT_EQ(values, (std::vector<int>{0, 1, 2, 3, 3}));  // begin, three items, end
  EXPECT_EQ(steps.front().max, 3);
  EXPECT_EQ(steps[1].status, "Encrypting stored procedures...");
  EXPECT_EQ(steps.back().status, "Stored Procedures: 3 items (2 encrypted)");
  EXPECT_EQ(LastMessage(), "Encryption completed.");
  EXPECT_EQ(EncryptedCount(db, ENU_OBT_STORED_PROCEDURE), 2);
  EXPECT_EQ(ArchivedCount(db), 2);
  EXPECT_EQ(Explorer().lvwObjects()->topLevelItemCount(), 1);
  EXPECT_EQ(Explorer().lvwObjects()->topLevelItem(0)->text(0), "p2");
  EXPECT_TRUE(errorReports.empty());
}

// Each closing message: what was checked, and which objects went away on the
// server after the lists were filled (the engine raises for those).
struct Closing {
  const char* name;
  bool restore;
  std::vector<int> checked;
  std::vector<int> droppedAfterFill;  // procedure numbers
  bool refilled;
  const char* message;
  int style;
};
void PrintTo(const Closing& row, std::ostream* os) { *os << row.name; }

class ExplorerClosingTest : public ExplorerBatchesTest, public ::testing::WithParamInterface<Closing> {};

TEST_P(ExplorerClosingTest, TellsTheOutcome) {
  const Closing& c = GetParam();
  if (c.restore) {
    ClickFolder(ENU_OBT_STORED_PROCEDURE, db);
    CheckItems(false, {0, 1, 2});
    Explorer().EncryptSelected();
    messages.clear();
  }
  ClickFolder(ENU_OBT_STORED_PROCEDURE, db);
  CheckItems(c.restore, c.checked);
  std::string drops;
  for (int n : c.droppedAfterFill) drops += "DROP PROCEDURE dbo.p" + std::to_string(n) + "\nGO\n";
  if (!drops.empty()) RunOnSimServer("SIM1", "Shop", drops);
  const int before = Explorer().lvwObjects()->topLevelItemCount() + Explorer().lvwEncryptedObjects()->topLevelItemCount();
  steps.clear();
  if (c.restore) Explorer().RestoreSelected(); else Explorer().EncryptSelected();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].prompt.toStdString(), c.message);
  EXPECT_EQ(messages[0].style, c.style);
  const int after = Explorer().lvwObjects()->topLevelItemCount() + Explorer().lvwEncryptedObjects()->topLevelItemCount();
  EXPECT_EQ(after != before, c.refilled && !c.droppedAfterFill.empty());
  // The status text counts what the lists show, refilled or not.
  EXPECT_EQ(steps.back().status,
            QStringLiteral("Stored Procedures: %1 items (%2 encrypted)")
                .arg(after)
                .arg(Explorer().lvwEncryptedObjects()->topLevelItemCount()));
  EXPECT_TRUE(errorReports.empty()) << errorReports.front().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ExplorerClosingTest,
    ::testing::Values(
        Closing{"NothingChecked", false, {}, {}, false, "There are no items selected.", 64},
        Closing{"AllDone", false, {0, 1}, {}, true, "Encryption completed.", 64},
        Closing{"SomeGoneSinceTheFill", false, {0, 1}, {2}, true,
                "Errors occured during encryption, however some items were encrypted. Please view the Vexilon log for "
                "details.",
                48},
        Closing{"AllGoneSinceTheFill", false, {0, 1}, {1, 2}, false,
                "Errors occured during encryption and no items were encrypted. Please view the Vexilon log for details.",
                48},
        Closing{"RestoreNothingChecked", true, {}, {}, false, "There are no items selected.", 64},
        Closing{"RestoreDone", true, {0, 2}, {}, true, "Restore completed.", 64}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ExplorerBatchesTest, AnObjectGoneSinceTheFillIsLoggedAsAFailedItem) {
  ClickFolder(ENU_OBT_STORED_PROCEDURE, db);
  CheckItems(false, {0, 1});
  RunOnSimServer("SIM1", "Shop", "DROP PROCEDURE dbo.p1");
  Explorer().EncryptSelected();
  auto log = Check().GetLog();
  bool logged = false;
  for (; !log.IsEOF(); log.MoveNext())
    if (log.Field("ObjectName").ToText() == "p1" && log.Field("Message").ToText().rfind("Encryption error:", 0) == 0)
      logged = true;
  EXPECT_TRUE(logged);
  EXPECT_EQ(EncryptedCount(db, ENU_OBT_STORED_PROCEDURE), 1);
  EXPECT_TRUE(errorReports.empty());
}

struct Older {
  const char* name;
  int answer;
  bool restored;
};
void PrintTo(const Older& row, std::ostream* os) { *os << row.name; }
class ExplorerOlderArchiveTest : public ExplorerBatchesTest, public ::testing::WithParamInterface<Older> {};

TEST_P(ExplorerOlderArchiveTest, AsksBeforeRestoringAnOlderCopy) {
  ClickFolder(ENU_OBT_STORED_PROCEDURE, db);
  CheckItems(false, {0});
  Explorer().EncryptSelected();
  // Someone changed the encrypted procedure since it was archived.
  RunOnSimServer("SIM1", "Shop", "ALTER PROCEDURE dbo.p1 WITH ENCRYPTION AS SELECT 100");
  ClickFolder(ENU_OBT_STORED_PROCEDURE, db);
  CheckItems(true, {0});
  messages.clear();
  const int32_t id = Check().GetArchivedObjects(db).arrObjects.at(0).lngID;
  answers = {GetParam().answer};
  Explorer().RestoreSelected();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].style, 52);
  EXPECT_EQ(messages[0].prompt.toStdString(),
            "The archived database object 'Shop.dbo.p1' (database object id " +
                std::to_string(id) +
                ") is older than the current version in the database. The database object must have been restored and "
                "encrypted from another source.\r\n\r\nAre you sure you want to drop the current database object and "
                "restore it with an older version?");
  EXPECT_EQ(messages[1].prompt, "Restore completed.");
  EXPECT_EQ(EncryptedCount(db, ENU_OBT_STORED_PROCEDURE), GetParam().restored ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(Answers, ExplorerOlderArchiveTest,
                         ::testing::Values(Older{"No", vx::app::vbNo, false}, Older{"Yes", vx::app::vbYes, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ExplorerBatchesTest, TriggersGoWithTheirTable) {
  RunOnSimServer("SIM1", "Shop",
                 "CREATE TABLE dbo.Orders (id int)\nGO\nCREATE TRIGGER dbo.trOrders ON dbo.Orders FOR INSERT AS SELECT 1");
  ClickFolder(ENU_OBT_TRIGGER, db);
  ASSERT_EQ(Explorer().lvwObjects()->topLevelItemCount(), 1);
  CheckItems(false, {0});
  Explorer().EncryptSelected();
  EXPECT_EQ(LastMessage(), "Encryption completed.");
  EXPECT_EQ(EncryptedCount(db, ENU_OBT_TRIGGER), 1);
  CheckItems(true, {0});
  Explorer().RestoreSelected();
  EXPECT_EQ(LastMessage(), "Restore completed.");
  EXPECT_EQ(EncryptedCount(db, ENU_OBT_TRIGGER), 0);
}

// The run does what the user confirmed: switching archiving off in the options
// half-way changes nothing, and nobody can close the explorer under the loop.
TEST_F(ExplorerBatchesTest, OptionsAndClosingWaitWhileTheRunLasts) {
  ClickFolder(ENU_OBT_STORED_PROCEDURE, db);
  answers = {vx::app::vbYes};
  onStep = [this](const ui_test::ProgressStep& s) {
    if (s.value == 1) {
      CGlobal::Instance().ArchiveEncryptedDatabaseObjects(vx::kFalse);
      Explorer().close();
    }
  };
  Tool("miStEncryptAll");
  onStep = nullptr;
  EXPECT_TRUE(Explorer().isVisible());
  for (size_t i = 0; i < steps.size(); ++i) EXPECT_TRUE(steps[i].batchRunning) << i;
  EXPECT_FALSE(MainWindow()->BatchRunning());
  EXPECT_EQ(EncryptedCount(db, ENU_OBT_STORED_PROCEDURE), 3);
  EXPECT_EQ(ArchivedCount(db), 3);
}

}  // namespace
