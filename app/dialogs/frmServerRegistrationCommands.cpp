// The registration dialog's OK and "..." buttons: validation, the connection
// test and the duplicate check, and the network server list.
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

#include "basErrorReports.h"
#include "basMain.h"
#include "basMessages.h"
#include "basScreen.h"
#include "dialogs/frmSelectServer.h"
#include "dialogs/frmServerRegistration.h"
#include "vexilon_lib/CVexilon.h"

void frmServerRegistration::cmdOK_Click() {
  VX_TRY
    using namespace vx::app;
    QString message;
    QWidget* focus = nullptr;
    if (cboServerName_->currentText().isEmpty()) {
      message = QStringLiteral("You must enter a server.");
      focus = cboServerName_;
    } else if (optSQLServerAuthentication_->isChecked() && txtUserName_->text().isEmpty()) {
      message = QStringLiteral("\r\nYou must enter a username.");
      focus = txtUserName_;
    }
    if (!message.isEmpty()) {
      MsgBox(message, vbExclamation, this);
      focus->setFocus();
      return;
    }

    SetScreenMousePointer(vbHourglass);
    UDT_LOGIN_CREDENTIALS credentials;
    serverName_ = cboServerName_->currentText();
    credentials.strSQLServerName = serverName_.toStdString();
    if (optTrustedAuthentication_->isChecked()) {
      // A Windows login keeps no SQL login name or password.
      credentials.enumLoginAuthenticationType = ENU_LAT_TRUSTED;
      loginAuthenticationType_ = ENU_LAT_TRUSTED;
      username_.clear();
      password_.clear();
    } else {
      credentials.enumLoginAuthenticationType = ENU_LAT_SQLSERVER;
      credentials.strUserName = txtUserName_->text().toStdString();
      credentials.strPassword = txtPassword_->text().toStdString();
      loginAuthenticationType_ = ENU_LAT_SQLSERVER;
      username_ = txtUserName_->text();
      password_ = txtPassword_->text();
    }

    // The test runs on an engine of its own: the explorer's engine keeps the
    // server its lists were read from.
    std::unique_ptr<CVexilon> engine = NewEngine();
    engine->DisconnectSQLServer();
    const ENU_SERVER_CONNECTION_RESPONSES result = engine->ConnectServer(credentials);
    engine->DisconnectSQLServer();

    QString failure;
    switch (result) {
      case ENU_SCR_ACCESS_DENIED:
        failure = QStringLiteral("SQL Server '") + serverName_ + QStringLiteral("' does not exist or access is denied.");
        break;
      case ENU_SCR_UNABLE_TO_CONNECT:
        failure = QStringLiteral("Unable to connect to SQL Server '") + serverName_ + QStringLiteral("'.");
        break;
      case ENU_SCR_WRONG_SERVER_VERSION:
        failure = QStringLiteral("You can't register SQL Server '") + serverName_ +
                  QStringLiteral("' - this server is not running SQL Server 2000.\r\n\r\n"
                                 "This edition of Vexilon is only suitable for SQL Server 2000.");
        break;
      default: break;
    }
    if (result != ENU_SCR_SUCCESSFUL) {
      SetScreenMousePointer(vbDefault);
      if (!failure.isEmpty()) MsgBox(failure, vbExclamation, this);
      return;
    }

    if (!editing_) {
      CVexilon::Recordset servers = engine->GetSQLServers(cboServerName_->currentText().toStdString());
      const bool registered = servers.RecordCount() > 0;
      servers.Close();
      if (registered) {
        SetScreenMousePointer(vbDefault);
        MsgBox(QStringLiteral("The SQL Server ") + cboServerName_->currentText() +
                   QStringLiteral(" has already been registered.\r\n\r\n"
                                  "You cannot register a SQL Server more than once."),
               vbExclamation, this);
      } else {
        dirty_ = true;
      }
    } else {
      dirty_ = true;
    }
    engine.reset();
    SetScreenMousePointer(vbDefault);
    done(dirty_ ? QDialog::Accepted : QDialog::Rejected);
  VX_CATCH("frmServerRegistration", "cmdOK_Click")
}

void frmServerRegistration::cmdSelectSQLServer_Click() {
  VX_TRY
    frmSelectServer select(this);
    select.FillfrmSelectServers();
    vx::app::ShowModal(select);
    if (select.Dirty()) cboServerName_->setEditText(select.ServerName());
    cboServerName_->setFocus();
  VX_CATCH("frmServerRegistration", "cmdSelectSQLServer_Click")
}
