#include "support/ExplorerWindowTest.h"

#include <QCoreApplication>
#include <QTreeWidget>

#include "basMain.h"
#include "explorer/frmSQLServerExplorer.h"
#include "frmApplication.h"
#include "sqlserver_sim/SimServer.h"
#include "vexilon_lib/CVexilon.h"

namespace ui_test {

ExplorerWindowTest::ExplorerWindowTest() = default;
ExplorerWindowTest::~ExplorerWindowTest() = default;

void ExplorerWindowTest::SetUp() {
  UiTest::SetUp();
  typCurrentNodeObjectContainer = {};
  mainWindow = std::make_unique<frmApplication>();
  SetMainWindow(mainWindow.get());
}

void ExplorerWindowTest::TearDown() {
  explorer_.reset();
  SetMainWindow(nullptr);
  mainWindow.reset();
  UiTest::TearDown();
}

int32_t ExplorerWindowTest::MakeServer(const std::string& name) {
  CreateSimServer(name, "sa");
  return vx::sqlsim::SimServer::Open(name, SimFolder()).CreateDatabase("Shop");
}

void ExplorerWindowTest::Register(const std::string& name, bool trusted, const std::string& password) {
  auto engine = vx::app::NewEngine();
  if (trusted) {
    engine->RegisterSQLServer(name, ENU_LAT_TRUSTED, "x", "x");
    engine->UpdateSQLServer(name, ENU_LAT_TRUSTED, "", "");  // stores Null user and password
  } else {
    engine->RegisterSQLServer(name, ENU_LAT_SQLSERVER, "sa", password);
  }
}

frmSQLServerExplorer& ExplorerWindowTest::Open() {
  explorer_ = std::make_unique<frmSQLServerExplorer>();
  explorer_->FillfrmSQLServerExplorer();
  explorer_->show();
  Settle();
  return *explorer_;
}

QTreeWidgetItem* ExplorerWindowTest::Node(const QString& key) { return explorer_->NodeByKey(key); }

void ExplorerWindowTest::OpenDatabases(const std::string& server) {
  QTreeWidgetItem* node = Node(QStringLiteral("A") + QString::fromStdString(server));
  if (!node) return;
  node->setExpanded(true);
  Settle();
}

QString ExplorerWindowTest::FolderKey(char letter, int32_t databaseId, const std::string& server) const {
  return QLatin1Char(letter) + QString::number(databaseId) + QStringLiteral(":S") + QString::fromStdString(server);
}

void ExplorerWindowTest::ClickFolder(char letter, int32_t databaseId, const std::string& server) {
  OpenDatabases(server);
  explorer_->tvwSQLServerExplorer_LButtonDown(Node(FolderKey(letter, databaseId, server)));
}

void ExplorerWindowTest::Settle() {
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

}  // namespace ui_test
