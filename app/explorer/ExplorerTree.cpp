// The tree's nodes: keys, the key index, and the Tags kept beside the nodes
// (server credentials by server name, folder caches by folder key).
#include <QTreeWidget>

#include "explorer/frmSQLServerExplorer.h"
#include "frmApplication.h"

namespace {
QIcon Picture(const QString& key) {
  if (key.isEmpty() || !MainWindow()) return {};
  return MainWindow()->imlSQLServerExplorer(key);
}
// The server name of a server node key ("S"/"I" + name).
QString ServerNameOfKey(const QString& key) { return key.mid(1); }
}  // namespace

QTreeWidgetItem* frmSQLServerExplorer::NodeByKey(const QString& key) const {
  return nodeIndex_.value(key, nullptr);
}

QString frmSQLServerExplorer::NodeKey(const QTreeWidgetItem* node) {
  return node ? node->data(0, kKeyRole).toString() : QString();
}

int32_t frmSQLServerExplorer::DatabaseIdFromKey(const QString& key) {
  const qsizetype colon = key.indexOf(QLatin1Char(':'));
  if (colon < 2) return 0;
  return key.mid(1, colon - 1).toInt();
}

QTreeWidgetItem* frmSQLServerExplorer::AddNode(QTreeWidgetItem* parent, const QString& key, const QString& text,
                                               const QString& imageKey) {
  auto* node = new QTreeWidgetItem(QStringList{text});
  node->setData(0, kKeyRole, key);
  node->setIcon(0, Picture(imageKey));
  if (parent)
    parent->addChild(node);
  else
    tvw_->addTopLevelItem(node);
  if (!key.isEmpty()) nodeIndex_.insert(key, node);
  return node;
}

void frmSQLServerExplorer::AddPlaceholder(QTreeWidgetItem* parent) {
  parent->addChild(new QTreeWidgetItem(QStringList{QString::fromLatin1(kEmptyPlaceholder)}));
}

void frmSQLServerExplorer::SetNodeKey(QTreeWidgetItem* node, const QString& newKey) {
  const QString old = NodeKey(node);
  if (old == newKey) return;
  if (!old.isEmpty() && nodeIndex_.value(old) == node) nodeIndex_.remove(old);
  auto cache = folderTags_.find(old);
  if (cache != folderTags_.end()) {
    folderTags_[newKey] = std::move(cache->second);
    folderTags_.erase(old);
  }
  node->setData(0, kKeyRole, newKey);
  if (!newKey.isEmpty()) nodeIndex_.insert(newKey, node);
}

void frmSQLServerExplorer::RemoveChildren(QTreeWidgetItem* node) {
  while (node->childCount() > 0) RemoveNode(node->child(node->childCount() - 1));
}

void frmSQLServerExplorer::RemoveNode(QTreeWidgetItem* node) {
  RemoveChildren(node);
  const QString key = NodeKey(node);
  if (!key.isEmpty()) {
    if (nodeIndex_.value(key) == node) nodeIndex_.remove(key);
    folderTags_.erase(key);
    const QChar kind = key.at(0);
    const bool serverNode = kind == QLatin1Char('S') || kind == QLatin1Char('I');
    if (serverNode && NodeKey(node->parent()) == QStringLiteral("E"))
      serverTags_.erase(ServerNameOfKey(key));
  }
  delete node;  // takes the item out of its parent
}

QTreeWidgetItem* frmSQLServerExplorer::ServerNodeOf(QTreeWidgetItem* node) const {
  for (QTreeWidgetItem* n = node; n; n = n->parent()) {
    const QString key = NodeKey(n);
    if (key.startsWith(QLatin1Char('S')) || key.startsWith(QLatin1Char('I'))) return n;
  }
  return nullptr;
}

UDT_LOGIN_CREDENTIALS frmSQLServerExplorer::ServerTag(const QTreeWidgetItem* serverNode) const {
  auto it = serverTags_.find(ServerNameOfKey(NodeKey(serverNode)));
  return it == serverTags_.end() ? UDT_LOGIN_CREDENTIALS{} : it->second;
}

void frmSQLServerExplorer::SetServerTag(QTreeWidgetItem* serverNode, const UDT_LOGIN_CREDENTIALS& credentials) {
  serverTags_[ServerNameOfKey(NodeKey(serverNode))] = credentials;
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

QTreeWidgetItem* frmSQLServerExplorer::AddServerNode(const UDT_LOGIN_CREDENTIALS& credentials) {
  const QString name = QString::fromStdString(credentials.strSQLServerName);
  QTreeWidgetItem* root = NodeByKey(QStringLiteral("E"));
  QTreeWidgetItem* server = AddNode(root, QStringLiteral("S") + name, name, QStringLiteral("S"));
  SetServerTag(server, credentials);
  server->setExpanded(true);
  QTreeWidgetItem* databases = AddNode(server, QStringLiteral("A") + name, QStringLiteral("Databases"), QString());
  AddPlaceholder(databases);
  return server;
}
