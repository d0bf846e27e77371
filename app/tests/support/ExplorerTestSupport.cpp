#include "support/ExplorerTestSupport.h"

#include <QTreeWidget>

#include "basMain.h"
#include "explorer/ExplorerBatchRun.h"
#include "explorer/frmSQLServerExplorer.h"
#include "frmApplication.h"
#include "sqlserver_sim/SimServer.h"
#include "vexilon_global/CGlobal.h"
#include "vexilon_lib/CVexilon.h"

namespace ui_test {

ExplorerTest::ExplorerTest() = default;
ExplorerTest::~ExplorerTest() = default;

void ExplorerTest::SetUp() {
  UiTest::SetUp();
  CGlobal::Instance().ArchiveEncryptedDatabaseObjects(vx::kTrue);
  CGlobal::Instance().ShowSystemObjects(vx::kFalse);
  CGlobal::Instance().ShowSystemDatabases(vx::kFalse);
  mainWindow = std::make_unique<frmApplication>();
  SetMainWindow(mainWindow.get());
  ExplorerBatchRun::SetObserver([this](const ExplorerBatchRun& run) {
    ProgressStep s{run.Value(), run.Maximum(), run.Status(), MainWindow() && MainWindow()->BatchRunning()};
    steps.push_back(s);
    if (onStep) onStep(s);
  });
}

void ExplorerTest::TearDown() {
  ExplorerBatchRun::SetObserver(nullptr);
  explorer_.reset();
  check_.reset();
  SetMainWindow(nullptr);
  mainWindow.reset();
  UiTest::TearDown();
}

int32_t ExplorerTest::MakeServer(const std::string& name) {
  CreateSimServer(name, "sa");
  const int32_t id = vx::sqlsim::SimServer::Open(name, SimFolder()).CreateDatabase("Shop");
  RegisterServer(name);
  return id;
}

void ExplorerTest::RegisterServer(const std::string& name, const std::string& password) {
  vx::app::NewEngine()->RegisterSQLServer(name, ENU_LAT_SQLSERVER, "sa", password);
}

void ExplorerTest::AddProcedures(const std::string& server, int count, const std::string& prefix) {
  std::string script;
  for (int i = 1; i <= count; ++i)
    script += "CREATE PROCEDURE dbo." + prefix + std::to_string(i) + " AS SELECT " + std::to_string(i) + "\nGO\n";
  RunOnSimServer(server, "Shop", script);
}

frmSQLServerExplorer& ExplorerTest::OpenExplorer() {
  explorer_ = std::make_unique<frmSQLServerExplorer>();
  explorer_->FillfrmSQLServerExplorer();
  (void)explorer_->NodeByKey(QStringLiteral("E"));
  explorer_->show();
  return *explorer_;
}

QTreeWidgetItem* ExplorerTest::SelectDatabase(int32_t databaseId, const std::string& server) {
  frmSQLServerExplorer& ex = *explorer_;
  const QString name = QString::fromStdString(server);
  ex.tvwSQLServerExplorer_LButtonDown(ex.NodeByKey(QStringLiteral("S") + name));
  QTreeWidgetItem* databases = ex.NodeByKey(QStringLiteral("A") + name);
  if (!databases) return nullptr;
  ex.tvwSQLServerExplorer_BeforeExpand(databases, false);
  databases->setExpanded(true);
  QTreeWidgetItem* db = ex.NodeByKey(QStringLiteral("D%1:S").arg(databaseId) + name);
  ex.tvwSQLServerExplorer_LButtonDown(db);
  return db;
}

QTreeWidgetItem* ExplorerTest::ClickFolder(ENU_OBJECT_TYPES kind, int32_t databaseId, const std::string& server) {
  frmSQLServerExplorer& ex = *explorer_;
  const QString name = QString::fromStdString(server);
  const QString key = QString(QStringLiteral("PTFV").at(kind - 1)) + QStringLiteral("%1:S").arg(databaseId) + name;
  if (!ex.NodeByKey(key)) SelectDatabase(databaseId, server);
  QTreeWidgetItem* folder = ex.NodeByKey(key);
  ex.tvwSQLServerExplorer_LButtonDown(folder);
  return folder;
}

void ExplorerTest::Tool(const QString& name) { explorer_->acbSQLServerExplorer_ToolClick(name); }

void ExplorerTest::CheckItems(bool encryptedList, const std::vector<int>& rows) {
  QTreeWidget* list = encryptedList ? explorer_->lvwEncryptedObjects() : explorer_->lvwObjects();
  for (int row : rows) list->topLevelItem(row)->setCheckState(0, Qt::Checked);
}

CVexilon& ExplorerTest::Check(const std::string& server) {
  if (!check_ || !check_->GetSQLServer()) {
    check_ = vx::app::NewEngine();
    UDT_LOGIN_CREDENTIALS c{server, ENU_LAT_SQLSERVER, "sa", checkPassword};
    check_->ConnectServer(c);
  }
  return *check_;
}

int ExplorerTest::EncryptedCount(int32_t db, ENU_OBJECT_TYPES kind) {
  CVexilon& e = Check();
  switch (kind) {
    case ENU_OBT_STORED_PROCEDURE: return e.GetEncryptedStoredProcedures(db, vx::kTrue).lngElements;
    case ENU_OBT_TRIGGER: return e.GetEncryptedTriggers(db, vx::kTrue).lngElements;
    case ENU_OBT_USER_DEFINED_FUNCTION: return e.GetEncryptedUserDefinedFunctions(db, vx::kTrue).lngElements;
    case ENU_OBT_VIEW: return e.GetEncryptedViews(db, vx::kTrue).lngElements;
  }
  return -1;
}

int ExplorerTest::PlainCount(int32_t db, ENU_OBJECT_TYPES kind) {
  CVexilon& e = Check();
  switch (kind) {
    case ENU_OBT_STORED_PROCEDURE: return e.GetStoredProcedures(db, vx::kTrue).lngElements;
    case ENU_OBT_TRIGGER: return e.GetTriggers(db, vx::kTrue).lngElements;
    case ENU_OBT_USER_DEFINED_FUNCTION: return e.GetUserDefinedFunctions(db, vx::kTrue).lngElements;
    case ENU_OBT_VIEW: return e.GetViews(db, vx::kTrue).lngElements;
  }
  return -1;
}

int ExplorerTest::ArchivedCount(int32_t db) { return Check().GetArchivedObjects(db).lngElements; }

}  // namespace ui_test
