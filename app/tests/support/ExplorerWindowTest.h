#pragma once
// What the explorer window's tests share: simulated servers registered in the
// archive, the main window, the explorer opened on them, and node lookups.
#include <memory>
#include <string>

#include <QString>

#include "support/UiTest.h"
#include "vexilon_global/Types.h"

class QTreeWidgetItem;
class frmApplication;
class frmSQLServerExplorer;

namespace ui_test {

class ExplorerWindowTest : public UiTest {
 protected:
  ExplorerWindowTest();
  ~ExplorerWindowTest() override;
  void SetUp() override;
  void TearDown() override;

  // A simulated server (sa / "sa") with the database "Shop"; returns its id.
  int32_t MakeServer(const std::string& name);
  // Registers a server in the archive with a SQL Server login (or Windows
  // authentication with a Null user and password when `trusted`).
  void Register(const std::string& name, bool trusted = false, const std::string& password = "sa");
  // The explorer, filled from the archive and shown.
  frmSQLServerExplorer& Open();
  frmSQLServerExplorer& X() { return *explorer_; }
  QTreeWidgetItem* Node(const QString& key);
  // Opens the "Databases" node of a server through the tree and lets the work run.
  void OpenDatabases(const std::string& server);
  QString FolderKey(char letter, int32_t databaseId, const std::string& server) const;
  // Left click on a folder, after opening the server's databases.
  void ClickFolder(char letter, int32_t databaseId, const std::string& server);
  static void Settle();  // lets queued work run

  std::unique_ptr<frmApplication> mainWindow;

 private:
  std::unique_ptr<frmSQLServerExplorer> explorer_;
};

}  // namespace ui_test
