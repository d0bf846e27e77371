#pragma once
// What the explorer's command tests share: a simulated server registered in the
// archive, an explorer opened on it, folder clicks, the tools by name, and the
// progress steps of every run.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QString>

#include "support/UiTest.h"
#include "vexilon_global/Types.h"

class CVexilon;
class QTreeWidgetItem;
class frmApplication;
class frmSQLServerExplorer;

namespace ui_test {

// One progress step a run showed.
struct ProgressStep {
  int value = 0;
  int max = 0;
  QString status;
  bool batchRunning = false;  // what the main window was told at that moment
};

class ExplorerTest : public UiTest {
 protected:
  ExplorerTest();
  ~ExplorerTest() override;
  void SetUp() override;
  void TearDown() override;

  // A server "name" (sa / "sa") with one database "Shop", registered in the archive.
  // Returns the database's id.
  int32_t MakeServer(const std::string& name = "SIM1");
  void RegisterServer(const std::string& name, const std::string& password = "sa");
  // "CREATE PROCEDURE dbo.<prefix>N AS SELECT N" for N = 1 .. count.
  void AddProcedures(const std::string& server, int count, const std::string& prefix = "p");
  // The explorer, filled (its registered servers in the tree).
  frmSQLServerExplorer& OpenExplorer();
  frmSQLServerExplorer& Explorer() { return *explorer_; }
  // Connects the server, opens its databases and clicks the folder of that kind.
  QTreeWidgetItem* ClickFolder(ENU_OBJECT_TYPES kind, int32_t databaseId, const std::string& server = "SIM1");
  // Connects the server, opens its databases and selects the database node.
  QTreeWidgetItem* SelectDatabase(int32_t databaseId, const std::string& server = "SIM1");
  void Tool(const QString& name);
  void CheckItems(bool encryptedList, const std::vector<int>& rows);

  // An engine of its own on the server (fresh sessions), for checking results.
  CVexilon& Check(const std::string& server = "SIM1");
  int EncryptedCount(int32_t databaseId, ENU_OBJECT_TYPES kind);
  int PlainCount(int32_t databaseId, ENU_OBJECT_TYPES kind);
  int ArchivedCount(int32_t databaseId);

  std::vector<ProgressStep> steps;
  // Called at every progress step (after it is recorded), for tests that act mid-run.
  std::function<void(const ProgressStep&)> onStep;
  std::unique_ptr<frmApplication> mainWindow;
  std::string checkPassword = "sa";  // sa's password for Check()

 private:
  std::unique_ptr<frmSQLServerExplorer> explorer_;
  std::unique_ptr<CVexilon> check_;
};

}  // namespace ui_test
