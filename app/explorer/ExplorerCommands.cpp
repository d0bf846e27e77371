// The explorer's context-menu commands, dispatched by tool name.
#include <functional>

#include <QSplitter>
#include <QTreeWidget>

#include "basErrorReports.h"
#include "basMessages.h"
#include "basScreen.h"
#include "dialogs/frmGenerateRestoreScripts.h"
#include "dialogs/frmServerRegistration.h"
#include "explorer/ExplorerBatchRun.h"
#include "explorer/ExplorerFolderKind.h"
#include "explorer/ExplorerKinds.h"
#include "explorer/ExplorerPrompts.h"
#include "explorer/frmSQLServerExplorer.h"
#include "frmApplication.h"
#include "sqlserver/SQLServer.h"
#include "vexilon_global/CGlobal.h"
#include "vexilon_lib/CVexilon.h"

using vx::app::MsgBox;

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }


bool Archiving() { return CGlobal::Instance().ArchiveEncryptedDatabaseObjects() != vx::kFalse; }

// The state the commands work on, lent by the explorer for one click.
struct Commands {
  frmSQLServerExplorer& ex;
  int32_t& databaseId;
  ENU_OBJECT_TYPES& objectType;
  std::function<bool(int32_t)> encryptAll, restoreAll;

  QTreeWidgetItem* Selected() const { return ex.tvwSQLServerExplorer()->currentItem(); }
  // A folder command works only on its folder: the node its menu was opened on
  // may have gone since (a server whose connection failed loses its folders).
  bool SelectedIsFolder(ENU_OBJECT_TYPES kind) const {
    const QString key = frmSQLServerExplorer::NodeKey(Selected());
    return !key.isEmpty() && key.at(0) == QLatin1Char(ExplorerFolderKind::OfType(kind)->folderLetter);
  }
  QString ServerName() const { return Q(ex.LoginCredentials().strSQLServerName); }

  void WaitOn(bool disable) {
    ex.aszSQLServerExplorer()->setFocus();
    vx::app::SetWidgetMousePointer(ex.aszSQLServerExplorer(), vx::app::vbArrowHourglass);
    vx::app::SetScreenMousePointer(vx::app::vbHourglass);
    if (disable) {
      ex.setEnabled(false);
      vx::app::DoEvents();
    }
  }
  void WaitOff(bool enable, bool focusTree) {
    if (enable) ex.setEnabled(true);
    vx::app::SetScreenMousePointer(vx::app::vbDefault);
    vx::app::SetWidgetMousePointer(ex.aszSQLServerExplorer(), vx::app::vbDefault);
    if (focusTree) {
      vx::app::DoEvents();
      ex.tvwSQLServerExplorer()->setFocus();
    }
  }
  void FocusTree() {
    vx::app::DoEvents();
    ex.tvwSQLServerExplorer()->setFocus();
  }
  void ClearLists() {
    ex.ClearLVEncryptedObjects();
    ex.ClearLVObjects();
    objectType = static_cast<ENU_OBJECT_TYPES>(0);
  }
  // Folders of the database that are still in the tree lose their cache.
  void ClearFolderCaches() {
    for (const char* letter : {"P", "T", "V", "F"})
      if (QTreeWidgetItem* folder =
              ex.NodeByKey(QLatin1String(letter) + QString::number(databaseId) + QStringLiteral(":S") + ServerName()))
        ex.ClearFolderTag(folder);
  }

  void EditRegistration();
  void ForgetLogin(const std::string& serverName);
  void Register();
  void Unregister();
  void Connect();
  void RefreshDatabases();
  void RefreshDatabase();
  void GenerateRestoreScripts();
  void DatabaseRun(bool encrypt);
  void FolderRefresh(ENU_OBJECT_TYPES kind);
  void FolderRun(ExplorerPrompts::Command command, ENU_OBJECT_TYPES kind);
};

void Commands::EditRegistration() {
  vx::app::SetScreenMousePointer(vx::app::vbHourglass);
  frmServerRegistration dialog(&ex);
  UDT_LOGIN_CREDENTIALS c = ex.LoginCredentials();
  dialog.SetServerName(Q(c.strSQLServerName));
  if (c.enumLoginAuthenticationType == ENU_LAT_TRUSTED) {
    dialog.SetLoginAuthenticationType(ENU_LAT_TRUSTED);
  } else if (c.enumLoginAuthenticationType == ENU_LAT_SQLSERVER) {
    dialog.SetLoginAuthenticationType(ENU_LAT_SQLSERVER);
    dialog.SetUsername(Q(c.strUserName));
    dialog.SetPassword(Q(c.strPassword));
  }
  dialog.SetEditing(true);
  dialog.FillfrmServerRegistration();
  vx::app::SetScreenMousePointer(vx::app::vbDefault);
  vx::app::ShowModal(dialog);
  if (!dialog.Dirty()) return;
  WaitOn(false);
  const ENU_LOGIN_AUTHENTICATION_TYPES type = dialog.LoginAuthenticationType();
  if (ex.Vexilon().UpdateSQLServer(dialog.ServerName().toStdString(), type, dialog.Username().toStdString(),
                                   dialog.Password().toStdString())) {
    c.enumLoginAuthenticationType = type;
    if (type == ENU_LAT_TRUSTED) {
      c.strUserName.clear();
      c.strPassword.clear();
    } else if (type == ENU_LAT_SQLSERVER) {
      c.strUserName = dialog.Username().toStdString();
      c.strPassword = dialog.Password().toStdString();
    }
    ex.SetLoginCredentials(c);
    if (QTreeWidgetItem* node = Selected()) ex.SetServerTag(node, c);
    ForgetLogin(c.strSQLServerName);
  }
  WaitOff(false, false);
}

// Nothing runs under a login the user has replaced: the engine lets go of the
// server (the next command connects under the new login), and what was read
// under the old one goes (the lists, and the databases, which are read again
// when the server's "Databases" node is next opened).
void Commands::ForgetLogin(const std::string& serverName) {
  const auto held = ex.Vexilon().GetSQLServer();
  if (held && held->Name() == serverName) ex.Vexilon().DisconnectSQLServer();
  ClearLists();
  databaseId = 0;  // the next folder checks its database against the new login
  if (QTreeWidgetItem* databases = ex.NodeByKey(QStringLiteral("A") + Q(serverName))) {
    databases->setExpanded(false);
    ex.RemoveChildren(databases);
    ex.AddPlaceholder(databases);
  }
}

void Commands::Register() {
  vx::app::SetScreenMousePointer(vx::app::vbHourglass);
  frmServerRegistration dialog(&ex);
  vx::app::SetScreenMousePointer(vx::app::vbDefault);
  vx::app::ShowModal(dialog);
  if (!dialog.Dirty()) return;
  ex.aszSQLServerExplorer()->setFocus();
  vx::app::SetWidgetMousePointer(ex.aszSQLServerExplorer(), vx::app::vbArrowHourglass);
  UDT_LOGIN_CREDENTIALS c;
  c.strSQLServerName = dialog.ServerName().toStdString();
  c.enumLoginAuthenticationType = dialog.LoginAuthenticationType();
  c.strUserName = dialog.Username().toStdString();
  c.strPassword = dialog.Password().toStdString();
  if (ex.Vexilon().RegisterSQLServer(c.strSQLServerName, c.enumLoginAuthenticationType, c.strUserName,
                                     c.strPassword)) {
    ex.SetLoginCredentials(c);
    ex.AddServerNode(c);
  }
  WaitOff(false, false);
}

void Commands::Unregister() {
  const QString name = ServerName();
  if (MsgBox(ExplorerPrompts::Unregister(name), vx::app::vbYesNo + vx::app::vbExclamation + vx::app::vbDefaultButton2) !=
      vx::app::vbYes)
    return;
  WaitOn(false);
  if (ex.Vexilon().UnregisterSQLServer(name.toStdString())) {
    auto server = ex.Vexilon().GetSQLServer();
    if (server && Q(server->Name()) == name) {
      ex.Vexilon().DisconnectSQLServer();
      // The lists showed objects of that server: nothing may point at it now.
      ClearLists();
      if (frmApplication* main = MainWindow()) main->SetStatusVisible(false);
    }
    QTreeWidgetItem* node = Selected();
    if (QTreeWidgetItem* serverNode = node ? ex.ServerNodeOf(node) : nullptr) ex.RemoveNode(serverNode);
  }
  WaitOff(false, false);
}

void Commands::Connect() {
  WaitOn(false);
  vx::app::DoEvents();
  QTreeWidgetItem* node = Selected();
  const QString nodeKey = frmSQLServerExplorer::NodeKey(node);
  ex.SetLoginCredentials(ex.ServerTag(node));
  if (ex.ConnectServer(ex.LoginCredentials()) == ENU_SCR_SUCCESSFUL) {
    node = ex.NodeByKey(nodeKey);
    if (node && ex.IsSQLServerConnected()) {
      const QString name = Q(ex.Vexilon().GetSQLServer()->Name());
      ex.SetNodeKey(node, QStringLiteral("S") + name);
      ex.RemoveChildren(node);
      ex.SetServerTag(node, ex.LoginCredentials());
      QTreeWidgetItem* databases = ex.AddNode(node, QStringLiteral("A") + name, QStringLiteral("Databases"), {});
      ex.GetDatabases(databases);
      databases->setExpanded(true);
    } else if (node) {
      // The failure line has no key of its own: keys name real nodes only.
      ex.RemoveChildren(node);
      ex.AddNode(node, QString(), QStringLiteral("(Connection failed, check SQL Server registation properties.)"), {});
      node->setExpanded(true);
    }
  }
  WaitOff(false, false);
  vx::app::DoEvents();
}

void Commands::RefreshDatabases() {
  WaitOn(false);
  QTreeWidgetItem* node = Selected();
  const QString key = frmSQLServerExplorer::NodeKey(node);
  ex.RemoveChildren(node);
  ex.AddPlaceholder(node);
  ex.tvwSQLServerExplorer_BeforeExpand(node, false);
  // A server that cannot be reached loses the node with its other children.
  if ((node = ex.NodeByKey(key))) node->setExpanded(true);
  WaitOff(false, false);
}

void Commands::RefreshDatabase() {
  WaitOn(false);
  QTreeWidgetItem* node = Selected();
  ex.RemoveChildren(node);
  ex.AddPlaceholder(node);
  vx::app::DoEvents();
  const QString key = QStringLiteral("D") + frmSQLServerExplorer::NodeKey(node).mid(1);
  ex.SetNodeKey(node, key);
  if (ex.ConnectServerDatabase(ex.LoginCredentials(), databaseId) == ENU_SCR_SUCCESSFUL) {
    if ((node = ex.NodeByKey(key))) {
      ex.tvwSQLServerExplorer_BeforeExpand(node, false);
      node->setExpanded(true);
    }
  }
  WaitOff(false, false);
}

void Commands::GenerateRestoreScripts() {
  vx::app::DoEvents();
  WaitOn(true);
  frmGenerateRestoreScripts dialog(&ex);
  dialog.SetSQLServer(ex.Vexilon().GetSQLServer());
  dialog.SetConnectionString(Q(ex.Vexilon().GetSQLServerConnectionString()));
  dialog.SetDatabaseID(databaseId);
  dialog.FillfrmGenerateRestoreScripts();
  WaitOff(true, false);
  if (dialog.lvwEncryptedObjects()->topLevelItemCount() > 0) vx::app::ShowModal(dialog);
}

void Commands::DatabaseRun(bool encrypt) {
  vx::app::DoEvents();
  QTreeWidgetItem* node = Selected();
  databaseId = frmSQLServerExplorer::DatabaseIdFromKey(frmSQLServerExplorer::NodeKey(node));
  const bool archiving = Archiving();
  const QString prompt =
      ExplorerPrompts::Database(encrypt, archiving, ExplorerKinds::DatabaseName(ex.Vexilon(), databaseId));
  if (MsgBox(prompt, vx::app::vbYesNo + vx::app::vbExclamation) != vx::app::vbYes) {
    FocusTree();
    return;
  }
  WaitOn(true);
  if (encrypt) {
    ExplorerBatchRun::SetConfirmedArchiving(archiving);
    encryptAll(databaseId);
  } else {
    restoreAll(databaseId);
  }
  ClearFolderCaches();
  // What the lists showed may have been encrypted, restored or lost with the
  // connection: they go, and the next folder click reads the engine again.
  ClearLists();
  WaitOff(true, true);
}

void Commands::FolderRefresh(ENU_OBJECT_TYPES kind) {
  if (!SelectedIsFolder(kind)) return;
  vx::app::DoEvents();
  WaitOn(true);
  QTreeWidgetItem* node = Selected();
  const QString key = frmSQLServerExplorer::NodeKey(node);
  databaseId = frmSQLServerExplorer::DatabaseIdFromKey(frmSQLServerExplorer::NodeKey(node->parent()));
  ex.RefillLists(kind, databaseId);
  objectType = kind;
  if (QTreeWidgetItem* folder = ex.NodeByKey(key)) ex.SetFolderTag(folder, typCurrentNodeObjectContainer);
  WaitOff(true, true);
}

void Commands::FolderRun(ExplorerPrompts::Command command, ENU_OBJECT_TYPES kind) {
  using C = ExplorerPrompts::Command;
  if (!SelectedIsFolder(kind)) return;
  const bool encrypt = command == C::EncryptAll || command == C::EncryptSelected;
  if (command != C::RestoreSelected) vx::app::DoEvents();
  const bool archiving = encrypt && Archiving();
  const QString prompt =
      ExplorerPrompts::Folder(command, kind, archiving, ExplorerKinds::DatabaseName(ex.Vexilon(), databaseId));
  if (MsgBox(prompt, vx::app::vbYesNo + vx::app::vbExclamation) != vx::app::vbYes) {
    if (command != C::RestoreSelected) ex.tvwSQLServerExplorer()->setFocus();
    return;
  }
  if (command == C::RestoreSelected) vx::app::DoEvents();
  WaitOn(true);
  QTreeWidgetItem* node = Selected();
  const QString key = frmSQLServerExplorer::NodeKey(node);
  databaseId = frmSQLServerExplorer::DatabaseIdFromKey(frmSQLServerExplorer::NodeKey(node->parent()));
  if (command == C::EncryptAll || command == C::RestoreAll) {
    QTreeWidget* list = command == C::EncryptAll ? ex.lvwObjects() : ex.lvwEncryptedObjects();
    const int count = list->topLevelItemCount();
    for (int i = 0; i < count; ++i) list->topLevelItem(i)->setCheckState(0, Qt::Checked);
  }
  if (encrypt) {
    ExplorerBatchRun::SetConfirmedArchiving(archiving);
    ex.EncryptSelected();
  } else {
    ex.RestoreSelected();
  }
  // The run may have lost the connection, and with it the folder's node.
  if (QTreeWidgetItem* folder = ex.NodeByKey(key)) ex.SetFolderTag(folder, typCurrentNodeObjectContainer);
  WaitOff(true, true);
}

}  // namespace

void frmSQLServerExplorer::acbSQLServerExplorer_ToolClick(const QString& toolName) {
  try {
    Commands c{*this, lngCurrentDatabaseID_, enumCurrentObjectType_,
               [this](int32_t id) { return EncryptAllDatabaseObjects(id); },
               [this](int32_t id) { return RestoreAllDatabaseObjects(id); }};
    const QString& t = toolName;
    if (t == QLatin1String("miSeEditSQLServer")) return c.EditRegistration();
    if (t == QLatin1String("miSeRegisterSQLServer") || t == QLatin1String("miSsRegisterSQLServer")) return c.Register();
    if (t == QLatin1String("miSeUnregisterSQLServer")) return c.Unregister();
    if (t == QLatin1String("miSeConnect")) return c.Connect();
    if (t == QLatin1String("miDaRefresh")) return c.RefreshDatabases();
    if (t == QLatin1String("miDbRefresh")) return c.RefreshDatabase();
    if (t == QLatin1String("miDbGenerateRestoreScripts")) return c.GenerateRestoreScripts();
    if (t == QLatin1String("miDbEncryptAll")) return c.DatabaseRun(true);
    if (t == QLatin1String("miDbRestoreAll")) return c.DatabaseRun(false);
    // Folder tools: "mi", the folder's tag, the command.
    static const QStringList kTags{QStringLiteral("St"), QStringLiteral("Tr"), QStringLiteral("Us"),
                                   QStringLiteral("Vi")};
    const int kind = t.startsWith(QLatin1String("mi")) ? kTags.indexOf(t.mid(2, 2)) + 1 : 0;
    if (kind < 1) return;
    const auto k = static_cast<ENU_OBJECT_TYPES>(kind);
    const QString command = t.mid(4);
    using P = ExplorerPrompts::Command;
    if (command == QLatin1String("Refresh")) return c.FolderRefresh(k);
    if (command == QLatin1String("EncryptAll")) return c.FolderRun(P::EncryptAll, k);
    if (command == QLatin1String("RestoreAll")) return c.FolderRun(P::RestoreAll, k);
    if (command == QLatin1String("EncryptSelected")) return c.FolderRun(P::EncryptSelected, k);
    if (command == QLatin1String("RestoreSelected")) return c.FolderRun(P::RestoreSelected, k);
  } catch (...) {
    setEnabled(true);
    vx::app::ReportError("frmSQLServerExplorer", "acbSQLServerExplorer_ToolClick", __LINE__);
  }
}
