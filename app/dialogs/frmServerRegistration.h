#pragma once
// Registers a SQL Server or edits a registration: the server name, the kind of
// login and the SQL login's name and password, with a connection test and a
// duplicate check. Callers set the properties (and Editing) before
// FillfrmServerRegistration, show it modally, and read Dirty and the values.
#include <QDialog>

#include "vexilon_global/Types.h"

class QLineEdit;
class QPushButton;
class QRadioButton;
class QLabel;
class QComboBox;

class frmServerRegistration : public QDialog {
  Q_OBJECT

 public:
  explicit frmServerRegistration(QWidget* parent = nullptr);
  ~frmServerRegistration() override;

  bool Dirty() const { return dirty_; }
  void SetDirty(bool dirty) { dirty_ = dirty; }
  bool Editing() const { return editing_; }
  void SetEditing(bool editing) { editing_ = editing; }
  QString ServerName() const { return serverName_; }
  void SetServerName(const QString& name) { serverName_ = name; }
  QString Username() const { return username_; }
  void SetUsername(const QString& name) { username_ = name; }
  QString Password() const { return password_; }
  void SetPassword(const QString& password) { password_ = password; }
  ENU_LOGIN_AUTHENTICATION_TYPES LoginAuthenticationType() const { return loginAuthenticationType_; }
  void SetLoginAuthenticationType(ENU_LOGIN_AUTHENTICATION_TYPES type) { loginAuthenticationType_ = type; }

  void FillfrmServerRegistration();

 private:
  void cmdOK_Click();
  void cmdCancel_Click();
  void cmdSelectSQLServer_Click();
  void optSQLServerAuthentication_Click();
  void optTrustedAuthentication_Click();
  bool eventFilter(QObject* watched, QEvent* event) override;

  QComboBox* cboServerName_ = nullptr;
  QPushButton* cmdSelectSQLServer_ = nullptr;
  QRadioButton* optTrustedAuthentication_ = nullptr;
  QRadioButton* optSQLServerAuthentication_ = nullptr;
  QLineEdit* txtUserName_ = nullptr;
  QLineEdit* txtPassword_ = nullptr;
  QPushButton* cmdOK_ = nullptr;
  QPushButton* cmdCancel_ = nullptr;

  bool dirty_ = false;
  bool editing_ = false;
  QString serverName_;
  QString username_;
  QString password_;
  ENU_LOGIN_AUTHENTICATION_TYPES loginAuthenticationType_ = static_cast<ENU_LOGIN_AUTHENTICATION_TYPES>(0);
};
