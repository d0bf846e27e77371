// Stand-ins for the explorer members that the commands need, until the tree,
// connection, list and fill files of the explorer arrive. Only what the header
// promises, in the simplest form; removed when the explorer is merged.
#include <QHBoxLayout>
#include <QHeaderView>
#include <QSplitter>
#include <QTreeWidget>

#include "basMain.h"
#include "basMessages.h"
#include "explorer/frmSQLServerExplorer.h"
#include "sqlserver/Database.h"
#include "sqlserver/Databases.h"
#include "sqlserver/SQLServer.h"
#include "vexilon_global/CGlobal.h"
#include "vexilon_lib/CVexilon.h"

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
int32_t DatabaseIdOf(const QString& key) { return key.mid(1, key.indexOf(QLatin1Char(':')) - 1).toInt(); }
}  // namespace

// The controls, the engine, the root and the registered servers.
void frmSQLServerExplorer::BuildMenus() {
  if (tvw_) return;
  auto* layout = new QHBoxLayout(this);
  asz_ = new QSplitter(this);
  layout->addWidget(asz_);
  tvw_ = new QTreeWidget(asz_);
  tvw_->setObjectName(QStringLiteral("tvwSQLServerExplorer"));
  tvw_->setHeaderHidden(true);
  lvwObjects_ = new QTreeWidget(asz_);
  lvwObjects_->setObjectName(QStringLiteral("lvwObjects"));
  lvwEncryptedObjects_ = new QTreeWidget(asz_);
  lvwEncryptedObjects_->setObjectName(QStringLiteral("lvwEncryptedObjects"));
  vexilon_ = vx::app::NewEngine();
  AddNode(nullptr, QStringLiteral("E"), QStringLiteral("SQL Servers"), QStringLiteral("E"));
  auto servers = vexilon_->GetSQLServers();
  for (; !servers.IsEOF(); servers.MoveNext()) {
    UDT_LOGIN_CREDENTIALS c;
    c.strSQLServerName = servers.Field("SQLServerName").ToText();
    c.enumLoginAuthenticationType = static_cast<ENU_LOGIN_AUTHENTICATION_TYPES>(servers.Field("LoginAuthenticationType").ToLong());
    if (!servers.Field("UserName").IsNull()) c.strUserName = servers.Field("UserName").ToText();
    if (!servers.Field("Password").IsNull()) c.strPassword = servers.Field("Password").ToText();
    QTreeWidgetItem* s = AddNode(NodeByKey(QStringLiteral("E")), QStringLiteral("S") + Q(c.strSQLServerName),
                                 Q(c.strSQLServerName), QStringLiteral("S"));
    SetServerTag(s, c);
    s->setExpanded(true);
    AddPlaceholder(AddNode(s, QStringLiteral("A") + Q(c.strSQLServerName), QStringLiteral("Databases"), {}));
  }
}

QTreeWidgetItem* frmSQLServerExplorer::NodeByKey(const QString& key) const {
  const_cast<frmSQLServerExplorer*>(this)->BuildMenus();
  return nodeIndex_.value(key, nullptr);
}
QString frmSQLServerExplorer::NodeKey(const QTreeWidgetItem* node) {
  return node ? node->data(0, kKeyRole).toString() : QString();
}
QTreeWidgetItem* frmSQLServerExplorer::AddNode(QTreeWidgetItem* parent, const QString& key, const QString& text,
                                               const QString&) {
  auto* node = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tvw_);
  node->setText(0, text);
  node->setData(0, kKeyRole, key);
  if (!key.isEmpty()) nodeIndex_.insert(key, node);
  return node;
}
void frmSQLServerExplorer::AddPlaceholder(QTreeWidgetItem* parent) {
  (new QTreeWidgetItem(parent))->setText(0, QString::fromLatin1(kEmptyPlaceholder));
}
void frmSQLServerExplorer::SetNodeKey(QTreeWidgetItem* node, const QString& newKey) {
  const QString old = NodeKey(node);
  nodeIndex_.remove(old);
  if (serverTags_.count(old)) {
    serverTags_[newKey] = serverTags_[old];
    serverTags_.erase(old);
  }
  folderTags_.erase(old);
  node->setData(0, kKeyRole, newKey);
  nodeIndex_.insert(newKey, node);
}
void frmSQLServerExplorer::RemoveChildren(QTreeWidgetItem* node) {
  while (node->childCount() > 0) RemoveNode(node->child(0));
}
void frmSQLServerExplorer::RemoveNode(QTreeWidgetItem* node) {
  RemoveChildren(node);
  const QString key = NodeKey(node);
  nodeIndex_.remove(key);
  serverTags_.erase(key);
  folderTags_.erase(key);
  delete node;
}
QTreeWidgetItem* frmSQLServerExplorer::ServerNodeOf(QTreeWidgetItem* node) const {
  for (; node; node = node->parent()) {
    const QString k = NodeKey(node);
    if (k.startsWith(QLatin1Char('S')) || k.startsWith(QLatin1Char('I'))) return node;
  }
  return nullptr;
}
UDT_LOGIN_CREDENTIALS frmSQLServerExplorer::ServerTag(const QTreeWidgetItem* serverNode) const {
  auto it = serverTags_.find(NodeKey(serverNode));
  return it == serverTags_.end() ? UDT_LOGIN_CREDENTIALS{} : it->second;
}
void frmSQLServerExplorer::SetServerTag(QTreeWidgetItem* serverNode, const UDT_LOGIN_CREDENTIALS& c) {
  serverTags_[NodeKey(serverNode)] = c;
}
bool frmSQLServerExplorer::FolderTag(const QTreeWidgetItem* folderNode, UDT_NODE_OBJECTS_CONTAINER& objects) const {
  auto it = folderTags_.find(NodeKey(folderNode));
  if (it == folderTags_.end()) return false;
  objects = it->second;
  return true;
}
void frmSQLServerExplorer::SetFolderTag(QTreeWidgetItem* folderNode, const UDT_NODE_OBJECTS_CONTAINER& objects) {
  folderTags_[NodeKey(folderNode)] = objects;
}
void frmSQLServerExplorer::ClearFolderTag(QTreeWidgetItem* folderNode) { folderTags_.erase(NodeKey(folderNode)); }

ENU_SERVER_CONNECTION_RESPONSES frmSQLServerExplorer::ConnectServer(const UDT_LOGIN_CREDENTIALS& credentials) {
  UDT_LOGIN_CREDENTIALS c = credentials;
  if (auto server = Vexilon().GetSQLServer()) {
    if (server->Name() == c.strSQLServerName) return ENU_SCR_SUCCESSFUL;
    Vexilon().DisconnectSQLServer();
  }
  const auto r = Vexilon().ConnectServer(c);
  if (r == ENU_SCR_ACCESS_DENIED || r == ENU_SCR_UNABLE_TO_CONNECT) {
    vx::app::MsgBox(QStringLiteral("Unable to connect to SQL Server '") + Q(c.strSQLServerName) + QStringLiteral("'."),
                    vx::app::vbExclamation);
    if (auto* node = NodeByKey(QStringLiteral("S") + Q(c.strSQLServerName))) SQLServerConnectionBroken(node);
  }
  return r;
}
ENU_SERVER_CONNECTION_RESPONSES frmSQLServerExplorer::ConnectServerDatabase(const UDT_LOGIN_CREDENTIALS& c,
                                                                            int32_t lngDatabaseID) {
  const auto r = ConnectServer(c);
  if (r != ENU_SCR_SUCCESSFUL) return r;
  if (Vexilon().HasLoginDatabaseAccess(lngDatabaseID) && Vexilon().CheckDatabasePermissions(lngDatabaseID)) return r;
  return ENU_SCR_NO_PERMISSION;
}
void frmSQLServerExplorer::GetDatabases(QTreeWidgetItem* node) {
  const auto dbs = Vexilon().GetDatabases(CGlobal::Instance().ShowSystemDatabases() ? vx::kFalse : vx::kTrue);
  for (const auto& d : dbs.arrDatabases) {
    auto* n = AddNode(node, QStringLiteral("D%1:S").arg(d.lngDatabaseID) + Q(loginCredentials_.strSQLServerName),
                      Q(d.strDatabaseName), QStringLiteral("D"));
    GetDatabaseObjects(n, d.lngDatabaseID);
  }
}
void frmSQLServerExplorer::GetDatabaseObjects(QTreeWidgetItem* node, int32_t id) {
  const QString tail = QStringLiteral("%1:S").arg(id) + Q(loginCredentials_.strSQLServerName);
  AddNode(node, QStringLiteral("P") + tail, QStringLiteral("Stored Procedures"), QStringLiteral("X"));
  AddNode(node, QStringLiteral("T") + tail, QStringLiteral("Triggers"), QStringLiteral("G"));
  AddNode(node, QStringLiteral("F") + tail, QStringLiteral("User Defined Functions"), QStringLiteral("U"));
  AddNode(node, QStringLiteral("V") + tail, QStringLiteral("Views"), QStringLiteral("W"));
}
void frmSQLServerExplorer::tvwSQLServerExplorer_BeforeExpand(QTreeWidgetItem* node, bool) {
  if (node->childCount() == 0 || node->child(0)->text(0) != QLatin1String(kEmptyPlaceholder)) return;
  delete node->child(0);
  const QString key = NodeKey(node);
  if (key.startsWith(QLatin1Char('A'))) {
    loginCredentials_ = ServerTag(node->parent());
    GetDatabases(node);
  } else if (key.startsWith(QLatin1Char('D'))) {
    loginCredentials_ = ServerTag(node->parent()->parent());
    GetDatabaseObjects(node, lngCurrentDatabaseID_);
  }
}
void frmSQLServerExplorer::SQLServerConnectionBroken(QTreeWidgetItem* node) {
  vx::app::MsgBox(QStringLiteral("Cannot connect to SQL Server '") + node->text(0) + QStringLiteral("'."),
                  vx::app::vbExclamation);
  SetNodeKey(node, QStringLiteral("I") + NodeKey(node).mid(1));
  RemoveChildren(node);
  AddNode(node, QString(), QStringLiteral("(Connection failed, check SQL Server registation properties.)"), {});
  node->setExpanded(true);
}
bool frmSQLServerExplorer::IsSQLServerConnected() {
  try {
    return Vexilon().GetSQLServer() && Vexilon().GetSQLServer()->Status() == 1;
  } catch (...) {
    return false;
  }
}

namespace {
void Columns(QTreeWidget* list, bool trigger, bool encrypted) {
  list->clear();
  QStringList h{QStringLiteral("Name")};
  if (trigger) h << QStringLiteral("Table");
  h << QStringLiteral("Owner") << QStringLiteral("Date Created");
  if (encrypted) h << QStringLiteral("Archived") << QStringLiteral("Date Archived") << QStringLiteral("Archive Version");
  list->setHeaderLabels(h);
}
void Fill(QTreeWidget* list, const UDT_OBJECT_CONTAINER& objects, const QString& letter, bool trigger) {
  for (const auto& o : objects.arrObjects) {
    auto* item = new QTreeWidgetItem(list);
    item->setData(0, frmSQLServerExplorer::kKeyRole, letter + QString::number(o.lngID));
    if (trigger) item->setData(0, frmSQLServerExplorer::kTagRole, o.lngTableID);
    item->setCheckState(0, Qt::Unchecked);
    int c = 0;
    item->setText(c++, Q(o.strObjectName));
    if (trigger) item->setText(c++, Q(o.strTableName));
    item->setText(c++, Q(o.strOwnerName));
    item->setText(c++, Q(o.strCreateDate));
  }
}
}  // namespace

void frmSQLServerExplorer::InitLVStoredProcedures() { Columns(lvwObjects_, false, false); }
void frmSQLServerExplorer::InitLVTriggers() { Columns(lvwObjects_, true, false); }
void frmSQLServerExplorer::InitLVUserDefinedFunctions() { Columns(lvwObjects_, false, false); }
void frmSQLServerExplorer::InitLVViews() { Columns(lvwObjects_, false, false); }
void frmSQLServerExplorer::InitLVEncryptedStoredProcedures() { Columns(lvwEncryptedObjects_, false, true); }
void frmSQLServerExplorer::InitLVEncryptedTriggers() { Columns(lvwEncryptedObjects_, true, true); }
void frmSQLServerExplorer::InitLVEncryptedUserDefinedFunctions() { Columns(lvwEncryptedObjects_, false, true); }
void frmSQLServerExplorer::InitLVEncryptedViews() { Columns(lvwEncryptedObjects_, false, true); }
void frmSQLServerExplorer::ClearLVObjects() { lvwObjects_->clear(); }
void frmSQLServerExplorer::ClearLVEncryptedObjects() { lvwEncryptedObjects_->clear(); }

#define VX_PENDING_FILL(Name, Plain, Encrypted, A, B, Trigger)                                          \
  void frmSQLServerExplorer::Name(int32_t id) {                                                          \
    const vx::VbBool ignore = CGlobal::Instance().ShowSystemObjects() ? vx::kFalse : vx::kTrue;          \
    typCurrentNodeObjectContainer.typObjectContainer = Vexilon().Plain(id, ignore);                      \
    Fill(lvwObjects_, typCurrentNodeObjectContainer.typObjectContainer, QStringLiteral(A), Trigger);     \
    typCurrentNodeObjectContainer.typEncryptedObjectContainer = Vexilon().Encrypted(id, ignore);         \
    Fill(lvwEncryptedObjects_, typCurrentNodeObjectContainer.typEncryptedObjectContainer, QStringLiteral(B), Trigger); \
  }
VX_PENDING_FILL(FillLVStoredProceduresFromDb, GetStoredProcedures, GetEncryptedStoredProcedures, "X", "C", false)
VX_PENDING_FILL(FillLVTriggersFromDb, GetTriggers, GetEncryptedTriggers, "G", "K", true)
VX_PENDING_FILL(FillLVUserDefinedFunctionsFromDb, GetUserDefinedFunctions, GetEncryptedUserDefinedFunctions, "U", "B",
                false)
VX_PENDING_FILL(FillLVViewsFromDb, GetViews, GetEncryptedViews, "W", "H", false)

// A left click: selects the node; a database or folder becomes the current one,
// a folder fills the lists from the engine.
void frmSQLServerExplorer::tvwSQLServerExplorer_LButtonDown(QTreeWidgetItem* node) {
  if (!node) return;
  tvw_->setCurrentItem(node);
  const QString key = NodeKey(node);
  const QChar k = key.isEmpty() ? QChar() : key.at(0);
  loginCredentials_ = ServerTag(ServerNodeOf(node));
  if (k == QLatin1Char('S') || k == QLatin1Char('A') || k == QLatin1Char('D')) {
    ClearLVEncryptedObjects();
    ClearLVObjects();
    enumCurrentObjectType_ = static_cast<ENU_OBJECT_TYPES>(0);
    if (k == QLatin1Char('D')) {
      lngCurrentDatabaseID_ = DatabaseIdOf(key);
      ConnectServerDatabase(loginCredentials_, lngCurrentDatabaseID_);
    } else {
      ConnectServer(loginCredentials_);
    }
    return;
  }
  const int kind = QStringLiteral("PTFV").indexOf(k) + 1;
  if (kind < 1) return;
  lngCurrentDatabaseID_ = DatabaseIdOf(NodeKey(node->parent()));
  enumCurrentObjectType_ = static_cast<ENU_OBJECT_TYPES>(kind);
  if (ConnectServerDatabase(loginCredentials_, lngCurrentDatabaseID_) != ENU_SCR_SUCCESSFUL) return;
  switch (kind) {
    case 1: InitLVStoredProcedures(); InitLVEncryptedStoredProcedures(); FillLVStoredProceduresFromDb(lngCurrentDatabaseID_); break;
    case 2: InitLVTriggers(); InitLVEncryptedTriggers(); FillLVTriggersFromDb(lngCurrentDatabaseID_); break;
    case 3: InitLVUserDefinedFunctions(); InitLVEncryptedUserDefinedFunctions(); FillLVUserDefinedFunctionsFromDb(lngCurrentDatabaseID_); break;
    default: InitLVViews(); InitLVEncryptedViews(); FillLVViewsFromDb(lngCurrentDatabaseID_); break;
  }
  SetFolderTag(node, typCurrentNodeObjectContainer);
}
