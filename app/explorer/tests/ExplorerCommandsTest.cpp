// The explorer's context-menu commands through the dispatcher, against the real
// engine on temporary simulated servers.
#include <filesystem>
#include <QProgressBar>
#include <QTreeWidget>

#include "basMain.h"
#include "dialogs/frmServerRegistration.h"
#include "explorer/frmSQLServerExplorer.h"
#include "frmApplication.h"
#include "sqlserver_sim/SimFolder.h"
#include "sqlserver_sim/SimServer.h"
#include "support/ExplorerTestSupport.h"
#include "vexilon_global/CGlobal.h"
#include "vexilon_lib/CVexilon.h"

namespace {

using ui_test::ExplorerTest;

const std::string kAllFourKinds =
    "CREATE PROCEDURE dbo.p1 AS SELECT 1\nGO\nCREATE PROCEDURE dbo.p2 AS SELECT 2\nGO\n"
    "CREATE TABLE dbo.Orders (id int)\nGO\nCREATE TRIGGER dbo.trOrders ON dbo.Orders FOR INSERT AS SELECT 1\nGO\n"
    "CREATE FUNCTION dbo.f1 () RETURNS int AS BEGIN RETURN 1 END\nGO\nCREATE VIEW dbo.v1 AS SELECT 1 AS one\nGO\n";

class ExplorerCommandsTest : public ExplorerTest {
 protected:
  int32_t db = 0;
  void SetUp() override {
    ExplorerTest::SetUp();
    db = MakeServer();
  }
  std::string Last() const { return messages.empty() ? std::string() : messages.back().prompt.toStdString(); }
};

// ---- prompts: every kind, both states of the archive option; answering No changes nothing.
struct PromptRow {
  const char* name;
  const char* tool;
  bool archiving;
  const char* text;
};
void PrintTo(const PromptRow& row, std::ostream* os) { *os << row.name; }
class ExplorerPromptTest : public ExplorerCommandsTest, public ::testing::WithParamInterface<PromptRow> {};

TEST_P(ExplorerPromptTest, AsksInTheCommandsOwnWords) {
  const PromptRow& row = GetParam();
  RunOnSimServer("SIM1", "Shop", kAllFourKinds);
  CGlobal::Instance().ArchiveEncryptedDatabaseObjects(row.archiving ? vx::kTrue : vx::kFalse);
  OpenExplorer();
  const QString tool = QString::fromLatin1(row.tool);
  if (tool.startsWith("miDb"))
    SelectDatabase(db);
  else
    ClickFolder(static_cast<ENU_OBJECT_TYPES>(QStringList{"St", "Tr", "Us", "Vi"}.indexOf(tool.mid(2, 2)) + 1), db);
  answers = {vx::app::vbNo};
  Tool(tool);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].prompt.toStdString(), row.text);
  EXPECT_EQ(messages[0].style, 52);
  EXPECT_TRUE(steps.empty());
  EXPECT_EQ(ArchivedCount(db), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ExplorerPromptTest,
    ::testing::Values(
        PromptRow{"DatabaseEncryptArchiving", "miDbEncryptAll", true,
                  "All database objects that are encrypted will be stored in the Vexilon archive. Once a database "
                  "object is encrypted it cannot be decrypted and can only be restored from the Vexilon archive copy "
                  "or another valid copy.\r\n\r\nAre you sure you want to encrypt all stored procedures, triggers, "
                  "views and user defined functions in Shop?"},
        PromptRow{"DatabaseEncryptNotArchiving", "miDbEncryptAll", false,
                  "WARNING: The 'Archive encrypted database objects' option has been switched off in Tools|Options. "
                  "This means that all database objects that are encrypted will NOT be stored in the Vexilon archive. "
                  "Once a database object has been encrypted it cannot be decrypted and can only be restored from "
                  "another valid copy.\r\n\r\nAre you sure you want to encrypt all stored procedures, triggers, views "
                  "and user defined functions in Shop?"},
        PromptRow{"DatabaseRestore", "miDbRestoreAll", false,
                  "All encrypted database objects will be dropped from the database and restored from copies in the "
                  "Vexilon archive.\r\n\r\nAre you sure you want to restore all encrypted stored procedures, "
                  "triggers, views and user defined functions in Shop?"},
        PromptRow{"ProceduresEncryptAllArchiving", "miStEncryptAll", true,
                  "All stored procedures that are encrypted will be stored in the Vexilon archive. Once encrypted a "
                  "stored procedure cannot be decrypted and can only be restored from the Vexilon archive copy or "
                  "another valid copy.\r\n\r\nAre you sure you want to encrypt all stored procedures in Shop?"},
        PromptRow{"TriggersRestoreAll", "miTrRestoreAll", true,
                  "All encrypted triggers will be dropped from the database and restored from copies in the Vexilon "
                  "archive.\r\n\r\nAre you sure you want to restore all encrypted triggers in Shop?"},
        PromptRow{"FunctionsEncryptAllNotArchiving", "miUsEncryptAll", false,
                  "WARNING: The 'Archive encrypted database objects' option has been switched off in Tools|Options. "
                  "This means that all user defined functions that are encrypted will NOT be stored in the Vexilon "
                  "archive. Once a user defined function has been encrypted it cannot be decrypted and can only be "
                  "restored from another valid copy.\r\n\r\nAre you sure you want to encrypt all user defined "
                  "functions in Shop?"},
        PromptRow{"FunctionsRestoreSelected", "miUsRestoreSelected", true,
                  "Each encrypted user defined functions will be dropped from the database and restored from a copy "
                  "in the Vexilon archive.\r\n\r\nAre you sure you want to restore the selected encrypted user "
                  "defined functions in Shop?"},
        PromptRow{"ViewsEncryptSelectedArchiving", "miViEncryptSelected", true,
                  "A copy of each view that is encrypted will be stored in the Vexilon archive. Once encrypted a view "
                  "cannot be decrypted and can only be restored from the Vexilon archive copy or another valid "
                  "copy.\r\n\r\nAre you sure you want to encrypt the selected views in Shop?"},
        PromptRow{"ViewsEncryptSelectedNotArchiving", "miViEncryptSelected", false,
                  "WARNING: The 'Archive encrypted database objects' option has been switched off in Tools|Options. "
                  "This means that each view that is encrypted will NOT be stored in the Vexilon archive. Once a view "
                  "has been encrypted it cannot be decrypted and can only be restored from another valid "
                  "copy.\r\n\r\nAre you sure you want to encrypt the selected views in Shop?"},
        PromptRow{"ProceduresRestoreSelected", "miStRestoreSelected", true,
                  "Each encrypted stored procedure will be dropped from the database and restored from a copy in the "
                  "Vexilon archive.\r\n\r\nAre you sure you want to restore the selected encrypted stored procedures "
                  "in Shop?"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- whole databases
TEST_F(ExplorerCommandsTest, WholeDatabaseCountsAcrossTheKindsBothWays) {
  RunOnSimServer("SIM1", "Shop", kAllFourKinds);
  OpenExplorer();
  QTreeWidgetItem* folder = ClickFolder(ENU_OBT_STORED_PROCEDURE, db);
  const QString folderKey = frmSQLServerExplorer::NodeKey(folder);
  SelectDatabase(db);
  answers = {vx::app::vbYes};
  Tool("miDbEncryptAll");
  std::vector<int> values;
  QStringList texts;
  for (const auto& s : steps) {
    values.push_back(s.value);
    if (texts.isEmpty() || texts.back() != s.status) texts << s.status;
    EXPECT_EQ(s.max, 5);
  }
  EXPECT_EQ(values, (std::vector<int>{0, 1, 2, 3, 4, 5, 5}));
  EXPECT_EQ(texts, (QStringList{"Encrypting stored procedures...", "Encrypting triggers...",
                                "Encrypting user defined functions...", "Encrypting views..."}));
  EXPECT_EQ(Last(), "All database objects have been encrypted.");
  EXPECT_EQ(ArchivedCount(db), 5);
  for (auto kind : {ENU_OBT_STORED_PROCEDURE, ENU_OBT_TRIGGER, ENU_OBT_USER_DEFINED_FUNCTION, ENU_OBT_VIEW})
    EXPECT_EQ(PlainCount(db, kind), 0) << kind;
  UDT_NODE_OBJECTS_CONTAINER cache;
  EXPECT_FALSE(Explorer().FolderTag(Explorer().NodeByKey(folderKey), cache));

  steps.clear();
  answers = {vx::app::vbYes};
  Tool("miDbRestoreAll");
  EXPECT_EQ(steps.size(), 7u);
  EXPECT_EQ(steps.back().status, "Restoring views...");
  EXPECT_EQ(Last(), "All database objects have been restored.");
  EXPECT_EQ(ArchivedCount(db), 0);
  EXPECT_EQ(PlainCount(db, ENU_OBT_TRIGGER), 1);
  EXPECT_TRUE(errorReports.empty());
}

struct NothingRow {
  const char* name;
  const char* tool;
  const char* message;
};
void PrintTo(const NothingRow& row, std::ostream* os) { *os << row.name; }
class ExplorerNothingToDoTest : public ExplorerCommandsTest, public ::testing::WithParamInterface<NothingRow> {};

TEST_P(ExplorerNothingToDoTest, SaysSoAndShowsNoProgress) {
  OpenExplorer();
  SelectDatabase(db);
  answers = {vx::app::vbYes};
  Tool(GetParam().tool);
  EXPECT_EQ(Last(), GetParam().message);
  EXPECT_EQ(messages.size(), 2u);
  EXPECT_TRUE(steps.empty());
}

INSTANTIATE_TEST_SUITE_P(Rows, ExplorerNothingToDoTest,
                         ::testing::Values(NothingRow{"Encrypt", "miDbEncryptAll", "There are no database objects to encrypt."},
                                           NothingRow{"Restore", "miDbRestoreAll", "There are no database objects to restore."}),
                         [](const auto& info) { return std::string(info.param.name); });

// The lists a database run leaves behind would name objects that moved: they go.
TEST_F(ExplorerCommandsTest, WholeDatabaseRunClearsTheListsItChanged) {
  RunOnSimServer("SIM1", "Shop", kAllFourKinds);
  OpenExplorer();
  QTreeWidgetItem* folder = ClickFolder(ENU_OBT_STORED_PROCEDURE, db);
  ASSERT_EQ(Explorer().lvwObjects()->topLevelItemCount(), 2);
  Explorer().tvwSQLServerExplorer()->setCurrentItem(folder->parent());
  answers = {vx::app::vbYes};
  Tool("miDbEncryptAll");
  EXPECT_EQ(Explorer().lvwObjects()->topLevelItemCount(), 0);
  EXPECT_EQ(Explorer().lvwEncryptedObjects()->topLevelItemCount(), 0);
  EXPECT_EQ(Explorer().CurrentObjectType(), 0);
}

// Restore has the same lost-connection handling as encryption: the bar goes,
// the message says where the run stopped, and the folder caches of a server
// whose nodes went are skipped.
struct LostRow {
  const char* name;
  bool restore;
};
void PrintTo(const LostRow& row, std::ostream* os) { *os << row.name; }
class ExplorerDatabaseLostTest : public ExplorerCommandsTest, public ::testing::WithParamInterface<LostRow> {};

TEST_P(ExplorerDatabaseLostTest, EndsQuietlyAndMarksTheServer) {
  RunOnSimServer("SIM1", "Shop", kAllFourKinds);
  OpenExplorer();
  SelectDatabase(db);
  if (GetParam().restore) {
    answers = {vx::app::vbYes};
    Tool("miDbEncryptAll");
    SelectDatabase(db);
  }
  messages.clear();
  steps.clear();
  answers = {vx::app::vbYes};
  // The server goes away for good half-way: the engine cannot reconnect either.
  const std::string file = vx::sqlsim::ServerFilePath("SIM1", SimFolder());
  bool broken = false;
  onStep = [&](const ui_test::ProgressStep& s) {
    if (s.value != 2 || broken) return;
    broken = true;
    std::filesystem::rename(file, file + ".away");
    vx::sqlsim::SimServer::BreakSessions("SIM1");
  };
  Tool(GetParam().restore ? "miDbRestoreAll" : "miDbEncryptAll");
  onStep = nullptr;
  std::filesystem::rename(file + ".away", file);
  EXPECT_TRUE(errorReports.empty()) << errorReports.front().toStdString();
  // Where the run stopped, then the server's two messages as it stays away.
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[1].prompt, QString(GetParam().restore ? "The restore" : "Encryption") +
                                    " stopped after 2 of 5 objects because the connection to SQL Server 'SIM1' was lost.");
  EXPECT_EQ(messages[2].prompt, "Unable to connect to SQL Server 'SIM1'.");
  EXPECT_EQ(Last(), "Cannot connect to SQL Server 'SIM1'.");
  EXPECT_NE(Explorer().NodeByKey("ISIM1"), nullptr);
  EXPECT_EQ(steps.back().value, 2);
  EXPECT_TRUE(MainWindow()->prgProgress()->isHidden());
  EXPECT_EQ(EncryptedCount(db, ENU_OBT_STORED_PROCEDURE), GetParam().restore ? 0 : 2);
  EXPECT_EQ(ArchivedCount(db), GetParam().restore ? 3 : 2);
  EXPECT_TRUE(Explorer().isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Rows, ExplorerDatabaseLostTest,
                         ::testing::Values(LostRow{"Encrypt", false}, LostRow{"Restore", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- server registrations
struct RegisterRow {
  const char* name;
  const char* tool;
  bool confirmed;
};
void PrintTo(const RegisterRow& row, std::ostream* os) { *os << row.name; }
class ExplorerRegisterTest : public ExplorerCommandsTest, public ::testing::WithParamInterface<RegisterRow> {};

TEST_P(ExplorerRegisterTest, AddsTheServerUnderTheRoot) {
  CreateSimServer("SIM2", "two");
  OpenExplorer();
  Explorer().tvwSQLServerExplorer()->setCurrentItem(Explorer().NodeByKey("SSIM1"));
  modalHandlers.push_back([&](QDialog& dialog) {
    auto& r = dynamic_cast<frmServerRegistration&>(dialog);
    r.SetServerName("SIM2");
    r.SetLoginAuthenticationType(ENU_LAT_SQLSERVER);
    r.SetUsername("sa");
    r.SetPassword("two");
    r.SetDirty(GetParam().confirmed);
    return 1;
  });
  Tool(GetParam().tool);
  QTreeWidgetItem* node = Explorer().NodeByKey("SSIM2");
  EXPECT_EQ(vx::app::NewEngine()->GetSQLServers("SIM2").RecordCount(), GetParam().confirmed ? 1 : 0);
  if (!GetParam().confirmed) {
    EXPECT_EQ(node, nullptr);
    return;
  }
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->parent(), Explorer().NodeByKey("E"));
  ASSERT_EQ(node->childCount(), 1);
  EXPECT_EQ(frmSQLServerExplorer::NodeKey(node->child(0)), "ASIM2");
  EXPECT_EQ(node->child(0)->child(0)->text(0), frmSQLServerExplorer::kEmptyPlaceholder);
  EXPECT_EQ(Explorer().ServerTag(node).strPassword, "two");
}

INSTANTIATE_TEST_SUITE_P(Rows, ExplorerRegisterTest,
                         ::testing::Values(RegisterRow{"FromRoot", "miSsRegisterSQLServer", true},
                                           RegisterRow{"FromServer", "miSeRegisterSQLServer", true},
                                           RegisterRow{"Cancelled", "miSsRegisterSQLServer", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ExplorerCommandsTest, EditToWindowsLoginDropsTheSqlLogin) {
  OpenExplorer();
  QTreeWidgetItem* server = Explorer().NodeByKey("SSIM1");
  Explorer().tvwSQLServerExplorer_LButtonDown(server);
  modalHandlers.push_back([](QDialog& dialog) {
    auto& r = dynamic_cast<frmServerRegistration&>(dialog);
    EXPECT_TRUE(r.Editing());
    EXPECT_EQ(r.Username(), "sa");
    r.SetLoginAuthenticationType(ENU_LAT_TRUSTED);
    r.SetDirty(true);
    return 1;
  });
  Tool("miSeEditSQLServer");
  EXPECT_EQ(Explorer().LoginCredentials().enumLoginAuthenticationType, ENU_LAT_TRUSTED);
  EXPECT_EQ(Explorer().LoginCredentials().strUserName, "");
  EXPECT_EQ(Explorer().ServerTag(server).strPassword, "");
  EXPECT_EQ(frmSQLServerExplorer::NodeKey(server), "SSIM1");
}

// Deleting a registration removes every archived source of that server: No is the default.
struct UnregisterRow {
  const char* name;
  const char* server;
  int answer;
  bool removed;
  bool disconnected;
};
void PrintTo(const UnregisterRow& row, std::ostream* os) { *os << row.name; }
class ExplorerUnregisterTest : public ExplorerCommandsTest, public ::testing::WithParamInterface<UnregisterRow> {};

TEST_P(ExplorerUnregisterTest, WarnsAndLeavesNothingPointingAtTheServer) {
  const UnregisterRow& row = GetParam();
  CreateSimServer("SIM2", "sa");
  RegisterServer("SIM2");
  AddProcedures("SIM1", 2);
  OpenExplorer();
  ClickFolder(ENU_OBT_STORED_PROCEDURE, db);
  Explorer().tvwSQLServerExplorer()->setCurrentItem(Explorer().NodeByKey(QString("S") + row.server));
  Explorer().SetLoginCredentials(Explorer().ServerTag(Explorer().NodeByKey(QString("S") + row.server)));
  if (row.answer) answers = {row.answer};
  Tool("miSeUnregisterSQLServer");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].style, 52 + 256);
  EXPECT_TRUE(messages[0].prompt.startsWith(QString("WARNING: Deleting the SQL Server registration for '") +
                                            row.server + "' will remove all database objects"));
  EXPECT_EQ(Explorer().NodeByKey(QString("S") + row.server) == nullptr, row.removed);
  EXPECT_EQ(Explorer().Vexilon().GetSQLServer() == nullptr, row.disconnected);
  EXPECT_EQ(Explorer().lvwObjects()->topLevelItemCount(), row.disconnected ? 0 : 2);
}

INSTANTIATE_TEST_SUITE_P(Rows, ExplorerUnregisterTest,
                         ::testing::Values(UnregisterRow{"DefaultIsNo", "SIM1", 0, false, false},
                                           UnregisterRow{"ConnectedServer", "SIM1", vx::app::vbYes, true, true},
                                           UnregisterRow{"OtherServer", "SIM2", vx::app::vbYes, true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ExplorerCommandsTest, RefreshesShowWhatTheServerHasNow) {
  OpenExplorer();
  QTreeWidgetItem* database = SelectDatabase(db);
  QTreeWidgetItem* databases = Explorer().NodeByKey("ASIM1");
  Explorer().RemoveChildren(databases);
  Explorer().tvwSQLServerExplorer()->setCurrentItem(databases);
  Tool("miDaRefresh");
  EXPECT_NE(Explorer().NodeByKey(QString("D%1:SSIM1").arg(db)), nullptr);
  EXPECT_TRUE(databases->isExpanded());

  // A denied database comes back as a database with its four folders.
  database = Explorer().NodeByKey(QString("D%1:SSIM1").arg(db));
  Explorer().tvwSQLServerExplorer_LButtonDown(database);
  Explorer().SetNodeKey(database, QString("J%1:SSIM1").arg(db));
  Tool("miDbRefresh");
  database = Explorer().NodeByKey(QString("D%1:SSIM1").arg(db));
  ASSERT_NE(database, nullptr);
  EXPECT_EQ(database->childCount(), 4);
  EXPECT_NE(Explorer().NodeByKey(QString("V%1:SSIM1").arg(db)), nullptr);

  Tool("miSsSeparator");  // not a command
  Tool("miStSeparator");
  EXPECT_TRUE(messages.empty());
  EXPECT_TRUE(errorReports.empty());
}

TEST_F(ExplorerCommandsTest, FolderRefreshCachesWhatItRead) {
  AddProcedures("SIM1", 2);
  OpenExplorer();
  QTreeWidgetItem* folder = ClickFolder(ENU_OBT_STORED_PROCEDURE, db);
  AddProcedures("SIM1", 1, "z");
  Tool("miStRefresh");
  EXPECT_EQ(Explorer().lvwObjects()->topLevelItemCount(), 3);
  UDT_NODE_OBJECTS_CONTAINER cache;
  ASSERT_TRUE(Explorer().FolderTag(folder, cache));
  EXPECT_EQ(cache.typObjectContainer.lngElements, 3);
}

}  // namespace
