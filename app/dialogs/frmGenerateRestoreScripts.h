#pragma once
// Generate Restore Scripts: the objects of one database that are encrypted on
// the server and kept in the archive, with check boxes; the script of the
// checked ones goes to a file chosen in Save As, or to the preview window.
// Callers set SQLServer, ConnectionString and DatabaseID, call
// FillfrmGenerateRestoreScripts and show the window only when the list holds a row.
#include <memory>

#include <QDialog>

#include "vexilon_global/Types.h"
#include "vexilon_lib/CVexilon.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTabWidget;
class QTreeWidget;

class frmGenerateRestoreScripts : public QDialog {
  Q_OBJECT

 public:
  explicit frmGenerateRestoreScripts(QWidget* parent = nullptr);
  ~frmGenerateRestoreScripts() override;

  void SetSQLServer(const CVexilon::ServerObject& server) { sqlServer_ = server; }
  void SetConnectionString(const QString& connectionString) { connectionString_ = connectionString; }
  void SetDatabaseID(int32_t databaseId) { databaseId_ = databaseId; }
  void FillfrmGenerateRestoreScripts();

  QTreeWidget* lvwEncryptedObjects() const { return lvwEncryptedObjects_; }
  QCheckBox* chkGenerateCreateCommands() const { return chkGenerateCreateCommands_; }
  QCheckBox* chkGenerateDropCommands() const { return chkGenerateDropCommands_; }
  QCheckBox* chkIncludeHeaders() const { return chkIncludeHeaders_; }
  QPushButton* cmdPreview() const { return cmdPreview_; }
  QPushButton* cmdOK() const { return cmdOK_; }

  void chkGenerateCreateCommands_Click();
  void chkGenerateDropCommands_Click();
  void cmdSelectAll_Click();
  void cmdSelectNone_Click();
  void cmdPreview_Click();
  void cmdOK_Click();
  void cmdCancel_Click();

  // "dd/mm/yyyy hh:nn:ss" of one of the engine's date texts (the text itself
  // when it reads as no date).
  static QString DateCell(const std::string& engineDate);

 protected:
  void done(int result) override;

 private:
  void EnableButtons();
  void SetAllChecks(bool checked);
  UDT_OBJECT_CONTAINER Selection() const;
  UDT_GENERATE_SCRIPT_OPTIONS Options() const;
  QString DatabaseName() const;
  void Form_Unload();

  CVexilon::ServerObject sqlServer_;
  QString connectionString_;
  int32_t databaseId_ = 0;
  std::unique_ptr<CVexilon> vexilon_;

  QTabWidget* SSTab1_ = nullptr;
  QLabel* Label1_ = nullptr;
  QTreeWidget* lvwEncryptedObjects_ = nullptr;
  QPushButton* cmdSelectAll_ = nullptr;
  QPushButton* cmdSelectNone_ = nullptr;
  QCheckBox* chkGenerateCreateCommands_ = nullptr;
  QCheckBox* chkGenerateDropCommands_ = nullptr;
  QCheckBox* chkIncludeHeaders_ = nullptr;
  QPushButton* cmdPreview_ = nullptr;
  QPushButton* cmdOK_ = nullptr;
  QPushButton* cmdCancel_ = nullptr;
};
