#pragma once
// Picks one of the SQL Servers that can be reached by name. Callers call
// FillfrmSelectServers, show it modally, and read Dirty and ServerName.
#include <QDialog>

class QListWidget;
class QPushButton;

class frmSelectServer : public QDialog {
  Q_OBJECT

 public:
  explicit frmSelectServer(QWidget* parent = nullptr);
  ~frmSelectServer() override;

  bool Dirty() const { return dirty_; }
  void SetDirty(bool dirty) { dirty_ = dirty; }
  QString ServerName() const { return serverName_; }
  void SetServerName(const QString& name) { serverName_ = name; }

  void FillfrmSelectServers();

 private:
  void cmdOK_Click();
  void cmdCancel_Click();

  QListWidget* lstSQLServers_ = nullptr;
  QPushButton* cmdOK_ = nullptr;
  QPushButton* cmdCancel_ = nullptr;
  bool dirty_ = false;
  QString serverName_;
};
