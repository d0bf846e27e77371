// Bringing the engine to a node's server, checking a login against one
// database, marking nodes the login cannot use, and making the database and
// folder nodes when a node is first opened.
#include <QPointer>
#include <QTimer>
#include <QTreeWidget>

#include "basErrorReports.h"
#include "basMessages.h"
#include "basScreen.h"
#include "explorer/ExplorerFolderKind.h"
#include "explorer/frmSQLServerExplorer.h"
#include "sqlserver/SQLServer.h"
#include "vexilon_global/CGlobal.h"
#include "vexilon_lib/CVexilon.h"

namespace {
const QString kCrLf = QStringLiteral("\r\n");
const char* const kFailedChild = "(Connection failed, check SQL Server registation properties.)";

QString Q(const std::string& s) { return QString::fromStdString(s); }
bool Running(const CVexilon::ServerObject& server) { return server && server->Status() == 1; }
}  // namespace

ENU_SERVER_CONNECTION_RESPONSES frmSQLServerExplorer::ConnectServer(const UDT_LOGIN_CREDENTIALS& typLoginCredentials) {
  VX_TRY
    const QString name = Q(typLoginCredentials.strSQLServerName);
    CVexilon::ServerObject held = vexilon_->GetSQLServer();
    // Only a live connection to the same server is kept; a lost one is made again.
    if (held && held->Name() == typLoginCredentials.strSQLServerName && Running(held)) return ENU_SCR_SUCCESSFUL;
    if (held) vexilon_->DisconnectSQLServer();
    UDT_LOGIN_CREDENTIALS credentials = typLoginCredentials;
    const ENU_SERVER_CONNECTION_RESPONSES result = vexilon_->ConnectServer(credentials);
    switch (result) {
      case ENU_SCR_ACCESS_DENIED:
        vx::app::MsgBox(QStringLiteral("SQL Server '") + name + QStringLiteral("' does not exist or access is denied.") +
                            kCrLf + kCrLf +
                            QStringLiteral("Please verify SQL Server is running and check your SQL Server "
                                           "registration properties."),
                        vx::app::vbExclamation);
        break;
      case ENU_SCR_UNABLE_TO_CONNECT:
        vx::app::MsgBox(QStringLiteral("Unable to connect to SQL Server '") + name + QStringLiteral("'."),
                        vx::app::vbExclamation);
        break;
      case ENU_SCR_WRONG_SERVER_VERSION:
        vx::app::MsgBox((held ? QStringLiteral("You cannot connect to SQL Server '")
                              : QStringLiteral("You cannot register SQL Server '")) +
                            name + QStringLiteral("' - this server is not running SQL Server 2000.") + kCrLf + kCrLf +
                            QStringLiteral("This edition of Vexilon is only suitable for SQL Server 2000."),
                        vx::app::vbExclamation);
        break;
      default: break;
    }
    if (result == ENU_SCR_ACCESS_DENIED || result == ENU_SCR_UNABLE_TO_CONNECT) {
      // The node may carry either key: it failed before, or it has not yet.
      QTreeWidgetItem* node = NodeByKey(QStringLiteral("S") + name);
      if (!node) node = NodeByKey(QStringLiteral("I") + name);
      if (node) SQLServerConnectionBroken(node);
    } else if (result == ENU_SCR_WRONG_SERVER_VERSION) {
      vexilon_->SetSQLServer(nullptr);
    }
    return result;
  VX_CATCH("frmSQLServerExplorer", "ConnectServer")
  return ENU_SCR_UNABLE_TO_CONNECT;
}

ENU_SERVER_CONNECTION_RESPONSES frmSQLServerExplorer::ConnectServerDatabase(
    const UDT_LOGIN_CREDENTIALS& typLoginCredentials, int32_t lngDatabaseID) {
  const ENU_SERVER_CONNECTION_RESPONSES result = ConnectServer(typLoginCredentials);
  if (result != ENU_SCR_SUCCESSFUL) return result;
  try {
    bool access = vexilon_->HasLoginDatabaseAccess(lngDatabaseID) != vx::kFalse;
    if (!access && !Running(vexilon_->GetSQLServer())) {
      // The check found the link dead (a server reached over the network says so
      // only when it is used): a lost connection, not a login without access. It
      // is made again as a broken one is, or the server is marked failed.
      const ENU_SERVER_CONNECTION_RESPONSES again = ConnectServer(typLoginCredentials);
      if (again != ENU_SCR_SUCCESSFUL) return again;
      access = vexilon_->HasLoginDatabaseAccess(lngDatabaseID) != vx::kFalse;
    }
    if (access && vexilon_->CheckDatabasePermissions(lngDatabaseID) != vx::kFalse) return ENU_SCR_SUCCESSFUL;
    const QString rest = QString::number(lngDatabaseID) + QStringLiteral(":S") + Q(typLoginCredentials.strSQLServerName);
    QTreeWidgetItem* node = NodeByKey(QStringLiteral("D") + rest);
    if (!node) node = NodeByKey(QStringLiteral("J") + rest);
    const QString login = Q(vexilon_->GetSQLServer()->Login());
    const QString dbName = node ? node->text(0) : QString();
    if (!access)
      vx::app::MsgBox(QStringLiteral("The user '") + login + QStringLiteral("' is not a valid user in '") + dbName +
                          QStringLiteral("'.") + kCrLf + kCrLf +
                          QStringLiteral("The user specified in the SQL Server's registration properties must be a "
                                         "user in the database '") +
                          dbName + QStringLiteral("'."),
                      vx::app::vbExclamation);
    else
      vx::app::MsgBox(QStringLiteral("The The user '") + login +
                          QStringLiteral("' does not have suitable permissions to use Vexilon with '") + dbName +
                          QStringLiteral("'.") + kCrLf + kCrLf +
                          QStringLiteral("The user specified in the SQL Server's registration properties must belong "
                                         "to the db_owner or db_ddladmin database roles for the database '") +
                          dbName + QStringLiteral("'."),
                      vx::app::vbExclamation);
    if (node) {
      SetNodeKey(node, QStringLiteral("J") + rest);
      RemoveChildren(node);
    }
    return ENU_SCR_NO_PERMISSION;
  } catch (...) {
    // The connection lost while the roles are read: the server is marked failed.
    if (HandleConnectionLost()) return ENU_SCR_UNABLE_TO_CONNECT;
    vx::app::ReportError("frmSQLServerExplorer", "ConnectServer", __LINE__);
  }
  return ENU_SCR_NO_PERMISSION;
}

void frmSQLServerExplorer::GetDatabases(QTreeWidgetItem* node) {
  VX_TRY
    const vx::VbBool ignoreSystem =
        CGlobal::Instance().ShowSystemDatabases() != vx::kFalse ? vx::kFalse : vx::kTrue;
    const UDT_DATABASE_CONTAINER databases = vexilon_->GetDatabases(ignoreSystem);
    const QString server = Q(loginCredentials_.strSQLServerName);
    for (int32_t i = 0; i < databases.lngElements; ++i) {
      const UDT_DATABASE& db = databases.arrDatabases[static_cast<size_t>(i)];
      QTreeWidgetItem* child =
          AddNode(node, QStringLiteral("D") + QString::number(db.lngDatabaseID) + QStringLiteral(":S") + server,
                  Q(db.strDatabaseName), QStringLiteral("D"));
      GetDatabaseObjects(child, db.lngDatabaseID);
    }
  VX_CATCH("frmSQLServerExplorer", "GetDatabases")
}

void frmSQLServerExplorer::GetDatabaseObjects(QTreeWidgetItem* node, int32_t lngDatabaseID) {
  VX_TRY
    const QString rest =
        QString::number(lngDatabaseID) + QStringLiteral(":S") + Q(loginCredentials_.strSQLServerName);
    for (int type = 1; type <= 4; ++type) {
      const ExplorerFolderKind& kind = *ExplorerFolderKind::OfType(type);
      AddNode(node, QLatin1Char(kind.folderLetter) + rest, QLatin1String(kind.text), QString(QLatin1Char(kind.plainLetter)));
    }
  VX_CATCH("frmSQLServerExplorer", "GetDatabaseObjects")
}

void frmSQLServerExplorer::tvwSQLServerExplorer_BeforeExpand(QTreeWidgetItem* node, bool) {
  const bool shown = isVisible();
  try {
    if (shown) EnterBusy();
    // Pending events may remove nodes: hold the key, not the item, across them.
    // A closed explorer may be deleted by them, too.
    const QString key = NodeKey(node);
    const QPointer<frmSQLServerExplorer> self(this);
    vx::app::DoEvents();
    if (!self) return;
    node = key.isEmpty() ? nullptr : NodeByKey(key);
    if (node && node->childCount() > 0 && node->child(0)->text(0) == QLatin1String(kEmptyPlaceholder) &&
        NodeKey(node->child(0)).isEmpty()) {
      const QChar kind = key.isEmpty() ? QChar() : key.at(0);
      if (kind == QLatin1Char('A')) {
        // Opened without a click on it first (keys, the branch arrow, a command):
        // the engine may hold another server or none, so connect to this one.
        loginCredentials_ = ServerTag(ServerNodeOf(node));
        const bool connected = ConnectServer(loginCredentials_) == ENU_SCR_SUCCESSFUL;
        if (QTreeWidgetItem* folder = NodeByKey(key)) {
          if (connected) {
            delete folder->takeChild(0);
            GetDatabases(folder);
          } else {
            folder->setExpanded(false);  // keeps its placeholder for the next try
          }
        }
      } else if (kind == QLatin1Char('D')) {
        delete node->takeChild(0);
        loginCredentials_ = ServerTag(ServerNodeOf(node));
        GetDatabaseObjects(node, DatabaseIdFromKey(key));  // the node's own database
      }
    }
    if (shown) LeaveBusy();
  } catch (...) {
    if (shown) LeaveBusy();
    if (!HandleConnectionLost()) vx::app::ReportError("frmSQLServerExplorer", "tvwSQLServerExplorer_BeforeExpand");
  }
}

void frmSQLServerExplorer::OnItemExpanded(QTreeWidgetItem* item) {
  // Children are made after the expansion's own work has finished with the item.
  const QString key = NodeKey(item);
  if (key.isEmpty()) return;
  QTimer::singleShot(0, this, [this, key] {
    if (QTreeWidgetItem* node = NodeByKey(key)) tvwSQLServerExplorer_BeforeExpand(node, false);
  });
}

void frmSQLServerExplorer::SQLServerConnectionBroken(QTreeWidgetItem* node) {
  VX_TRY
    vx::app::MsgBox(QStringLiteral("Cannot connect to SQL Server '") + node->text(0) + QStringLiteral("'."),
                    vx::app::vbExclamation);
    SetNodeKey(node, QStringLiteral("I") + NodeKey(node).mid(1));
    RemoveChildren(node);
    auto* child = new QTreeWidgetItem(QStringList{QLatin1String(kFailedChild)});
    node->addChild(child);
    node->setExpanded(true);
  VX_CATCH("frmSQLServerExplorer", "SQLServerConnectionBroken")
}

bool frmSQLServerExplorer::IsSQLServerConnected() {
  try {
    CVexilon::ServerObject server = vexilon_->GetSQLServer();
    if (Running(server)) return true;
    const std::string name = server ? server->Name() : std::string();
    if (vx::app::MsgBox(QStringLiteral("The connection to SQL Server '") + Q(name) +
                            QStringLiteral("' has been broken.") + kCrLf + kCrLf +
                            QStringLiteral("Do you want to try reconnecting to it?"),
                        vx::app::vbYesNo + vx::app::vbExclamation) != vx::app::vbYes)
      return false;
    // Reconnect for real: a second look at the status alone never brings it back.
    UDT_LOGIN_CREDENTIALS credentials = loginCredentials_;
    if (!name.empty() && serverTags_.count(Q(name))) credentials = serverTags_.at(Q(name));
    if (credentials.strSQLServerName.empty()) credentials.strSQLServerName = name;
    vexilon_->DisconnectSQLServer();
    if (!credentials.strSQLServerName.empty() && vexilon_->ConnectServer(credentials) == ENU_SCR_SUCCESSFUL &&
        Running(vexilon_->GetSQLServer()))
      return true;
    vx::app::MsgBox(QStringLiteral("Cannot connect to SQL Server '") + Q(name) + QStringLiteral("'."),
                    vx::app::vbExclamation);
    return false;
  } catch (...) {
    return false;
  }
}
