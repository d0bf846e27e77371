// Tree clicks: what a press on each kind of node does to the window's state,
// the folder selection that fills the lists, the status text, and the popup
// menus with their enabling. Keys and the context-menu key act as the mouse does.
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>
#include <QTreeWidget>

#include "basErrorReports.h"
#include "basScreen.h"
#include "explorer/ExplorerFolderKind.h"
#include "explorer/frmSQLServerExplorer.h"
#include "sqlserver/SQLServer.h"
#include "vexilon_lib/CVexilon.h"

namespace {
struct Tool {
  const char* name;  // "-" + name for a separator
  const char* caption;
};
struct Menu {
  const char* band;
  std::vector<Tool> tools;
};

std::vector<Menu> Menus() {
  std::vector<Menu> menus = {
      {"pomSQLServers", {{"miSsRegisterSQLServer", "New SQL Server Registration..."}}},
      {"pomSQLServer",
       {{"miSeRegisterSQLServer", "New SQL Server Registration..."},
        {"miSeEditSQLServer", "Edit SQL Server Registration properties..."},
        {"miSeUnregisterSQLServer", "Delete SQL Server Registration"},
        {"-miStSeparator", ""},
        {"miSeConnect", "Connect"}}},
      {"pomDatabases", {{"miDaRefresh", "Refresh"}}},
      {"pomDatabase",
       {{"miDbRefresh", "Refresh"},
        {"-miDbSeparator", ""},
        {"miDbGenerateRestoreScripts", "Generate Restore Scripts..."},
        {"miDbEncryptAll", "Encrypt All"},
        {"miDbRestoreAll", "Restore All"}}},
  };
  return menus;
}

const char* const kDatabaseTools[] = {"miDbGenerateRestoreScripts", "miDbEncryptAll", "miDbRestoreAll"};
}  // namespace

void frmSQLServerExplorer::BuildMenus() {
  auto add = [this](const QString& band, const QString& name, const QString& caption) {
    QMenu*& menu = bands_[band];
    if (!menu) {
      menu = new QMenu(this);
      menu->setObjectName(band);
    }
    QAction* action = menu->addAction(caption);
    action->setObjectName(name);
    if (caption.isEmpty()) {
      action->setSeparator(true);
      return;
    }
    connect(action, &QAction::triggered, this, [this, name] { acbSQLServerExplorer_ToolClick(name); });
  };
  for (const Menu& m : Menus())
    for (const Tool& t : m.tools) {
      const QString name = QLatin1String(t.name[0] == '-' ? t.name + 1 : t.name);
      add(QLatin1String(m.band), name, QLatin1String(t.caption));
    }
  for (int type = 1; type <= 4; ++type) {
    const ExplorerFolderKind& k = *ExplorerFolderKind::OfType(type);
    const QString band = QLatin1String(k.menu);
    add(band, k.Tool("Refresh"), QStringLiteral("Refresh"));
    add(band, k.Tool("Separator"), QString());
    add(band, k.Tool("EncryptAll"), type == 4 ? QStringLiteral("Encryt All") : QStringLiteral("Encrypt All"));
    add(band, k.Tool("RestoreAll"), QStringLiteral("Restore All"));
    add(band, k.Tool("Separator"), QString());
    add(band, k.Tool("EncryptSelected"), QStringLiteral("Encrypt Selected"));
    add(band, k.Tool("RestoreSelected"), QStringLiteral("Restore Selected"));
  }
}

void frmSQLServerExplorer::ShowBand(const QString& name, const QPoint& globalPos) {
  if (QMenu* menu = Band(name)) menu->popup(globalPos);
}

void frmSQLServerExplorer::SelectNode(QTreeWidgetItem* node) {
  tvw_->setCurrentItem(node);
}

void frmSQLServerExplorer::ClearLists() {
  ClearLVEncryptedObjects();
  ClearLVObjects();
  enumCurrentObjectType_ = static_cast<ENU_OBJECT_TYPES>(0);
}

void frmSQLServerExplorer::tvwSQLServerExplorer_LButtonDown(QTreeWidgetItem* node) {
  try {
    EnterBusy();
    vx::app::DoEvents();
    if (node) {
      SelectNode(node);
      const QString key = NodeKey(node);
      const QChar kind = key.isEmpty() ? QChar() : key.at(0);
      if (kind == QLatin1Char('E')) {
        HideStatus();
        loginCredentials_ = typEmptyLoginCredentials_;
        ClearLists();
      } else if (kind == QLatin1Char('S') || kind == QLatin1Char('A')) {
        HideStatus();
        loginCredentials_ = ServerTag(ServerNodeOf(node));
        ClearLists();
        ConnectServer(loginCredentials_);
      } else if (kind == QLatin1Char('D')) {
        HideStatus();
        ClearLists();
        loginCredentials_ = ServerTag(ServerNodeOf(node));
        lngCurrentDatabaseID_ = DatabaseIdFromKey(key);
        ConnectServerDatabase(loginCredentials_, lngCurrentDatabaseID_);
      } else if (ExplorerFolderKind::OfFolderLetter(kind)) {
        FolderSelection(node, false, QPoint());
      }
    }
    LeaveBusy();
  } catch (...) {
    LeaveBusy();
    if (!HandleConnectionLost()) vx::app::ReportError("frmSQLServerExplorer", "tvwSQLServerExplorer_LButtonDown");
  }
}

void frmSQLServerExplorer::tvwSQLServerExplorer_RButtonDown(QTreeWidgetItem* node, const QPoint& globalPos) {
  bool busy = false;
  try {
    vx::app::DoEvents();
    if (!node) return;
    SelectNode(node);
    const QString key = NodeKey(node);
    const QChar kind = key.isEmpty() ? QChar() : key.at(0);
    auto serverOf = [this, node] { return ServerTag(ServerNodeOf(node)); };
    if (kind == QLatin1Char('E')) {
      HideStatus();
      loginCredentials_ = typEmptyLoginCredentials_;
      ClearLists();
      ShowBand(QStringLiteral("pomSQLServers"), globalPos);
    } else if (kind == QLatin1Char('S') || kind == QLatin1Char('A')) {
      HideStatus();
      loginCredentials_ = serverOf();
      ClearLists();
      if (ConnectServer(loginCredentials_) == ENU_SCR_SUCCESSFUL)
        ShowBand(kind == QLatin1Char('S') ? QStringLiteral("pomSQLServer") : QStringLiteral("pomDatabases"), globalPos);
    } else if (kind == QLatin1Char('I')) {
      HideStatus();
      loginCredentials_ = serverOf();
      ClearLists();
      ShowBand(QStringLiteral("pomSQLServer"), globalPos);
    } else if (kind == QLatin1Char('D') || kind == QLatin1Char('J')) {
      const bool usable = kind == QLatin1Char('D');
      HideStatus();
      for (const char* tool : kDatabaseTools) ExplorerTool(QLatin1String(tool))->setEnabled(usable);
      ClearLists();
      loginCredentials_ = serverOf();
      lngCurrentDatabaseID_ = DatabaseIdFromKey(key);
      if (!usable || ConnectServerDatabase(loginCredentials_, lngCurrentDatabaseID_) == ENU_SCR_SUCCESSFUL)
        ShowBand(QStringLiteral("pomDatabase"), globalPos);
    } else if (ExplorerFolderKind::OfFolderLetter(kind)) {
      busy = true;
      FolderSelection(node, true, globalPos);
    }
  } catch (...) {
    if (busy) LeaveBusy();
    if (!HandleConnectionLost()) vx::app::ReportError("frmSQLServerExplorer", "tvwSQLServerExplorer_RButtonDown");
  }
}

void frmSQLServerExplorer::FolderSelection(QTreeWidgetItem* folder, bool rightClick, const QPoint& globalPos) {
  // Connecting may remove the folder (a failed server or database): only its key is kept.
  const QString key = NodeKey(folder);
  const ExplorerFolderKind& kind = *ExplorerFolderKind::OfFolderLetter(key.at(0));
  statusVisible_ = true;
  if (rightClick) EnterBusy();
  loginCredentials_ = ServerTag(ServerNodeOf(folder));
  const int32_t newId = DatabaseIdFromKey(NodeKey(folder->parent()));
  const CVexilon::ServerObject server = vexilon_->GetSQLServer();
  const bool reconnect = !server || server->Name() != loginCredentials_.strSQLServerName || server->Status() != 1 ||
                         newId != lngCurrentDatabaseID_;
  UDT_NODE_OBJECTS_CONTAINER cached;
  const bool isCached = FolderTag(folder, cached);
  bool connected = true;
  auto initColumns = [this, &kind] {
    InitColumns(lvwObjects_, kind.type, false);
    InitColumns(lvwEncryptedObjects_, kind.type, true);
  };
  if (!isCached) {
    lngCurrentDatabaseID_ = newId;
    enumCurrentObjectType_ = kind.type;
    connected = !reconnect || ConnectServerDatabase(loginCredentials_, lngCurrentDatabaseID_) == ENU_SCR_SUCCESSFUL;
    if (connected) {
      RefillLists(kind.type, lngCurrentDatabaseID_);
      if (QTreeWidgetItem* node = NodeByKey(key)) SetFolderTag(node, typCurrentNodeObjectContainer);
    }
  } else if (reconnect) {
    lngCurrentDatabaseID_ = newId;
    enumCurrentObjectType_ = kind.type;
    connected = ConnectServerDatabase(loginCredentials_, lngCurrentDatabaseID_) == ENU_SCR_SUCCESSFUL;
    if (connected) {
      initColumns();
      typCurrentNodeObjectContainer = cached;
      FillFromContainer(kind.type, lngCurrentDatabaseID_, typCurrentNodeObjectContainer);
    }
  } else if (enumCurrentObjectType_ != kind.type) {
    enumCurrentObjectType_ = kind.type;
    initColumns();
    typCurrentNodeObjectContainer = cached;
    FillFromContainer(kind.type, lngCurrentDatabaseID_, typCurrentNodeObjectContainer);
  }
  // A failed connection must not leave another folder's objects under this
  // folder's menu: the lists are emptied.
  if (!connected) ClearLists();
  if (rightClick) {
    const bool plain = lvwObjects_->topLevelItemCount() > 0;
    const bool encrypted = lvwEncryptedObjects_->topLevelItemCount() > 0;
    ExplorerTool(kind.Tool("EncryptAll"))->setEnabled(plain);
    ExplorerTool(kind.Tool("EncryptSelected"))->setEnabled(plain);
    ExplorerTool(kind.Tool("RestoreAll"))->setEnabled(encrypted);
    ExplorerTool(kind.Tool("RestoreSelected"))->setEnabled(encrypted);
  }
  WriteFolderStatus(kind.StatusLabel());
  if (rightClick) {
    LeaveBusy();
    ShowBand(QLatin1String(kind.menu), globalPos);
  }
}

void frmSQLServerExplorer::RefreshFolder(ENU_OBJECT_TYPES type) {
  const ExplorerFolderKind& kind = *ExplorerFolderKind::OfType(type);
  const QString key = QLatin1Char(kind.folderLetter) + QString::number(lngCurrentDatabaseID_) + QStringLiteral(":S") +
                      QString::fromStdString(loginCredentials_.strSQLServerName);
  enumCurrentObjectType_ = type;
  RefillLists(type, lngCurrentDatabaseID_);
  if (QTreeWidgetItem* node = NodeByKey(key)) SetFolderTag(node, typCurrentNodeObjectContainer);
  WriteFolderStatus(kind.StatusLabel());
}

bool frmSQLServerExplorer::TreeEvent(QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      auto* e = static_cast<QMouseEvent*>(event);
      if (e->button() != Qt::LeftButton) return false;
      const QPoint pos = e->position().toPoint();
      QTreeWidgetItem* item = tvw_->itemAt(pos);
      // A press on the branch arrow only opens or closes the node.
      if (item && pos.x() < tvw_->visualItemRect(item).left()) return false;
      tvwSQLServerExplorer_LButtonDown(item);
      return false;
    }
    case QEvent::ContextMenu: {
      auto* e = static_cast<QContextMenuEvent*>(event);
      if (e->reason() == QContextMenuEvent::Mouse) {
        tvwSQLServerExplorer_RButtonDown(tvw_->itemAt(tvw_->viewport()->mapFromGlobal(e->globalPos())),
                                         e->globalPos());
      } else if (QTreeWidgetItem* item = tvw_->currentItem()) {
        tvwSQLServerExplorer_RButtonDown(item, tvw_->viewport()->mapToGlobal(tvw_->visualItemRect(item).center()));
      }
      return true;
    }
    case QEvent::KeyPress: {
      auto* e = static_cast<QKeyEvent*>(event);
      if (e->key() == Qt::Key_Menu || (e->key() == Qt::Key_F10 && e->modifiers() == Qt::ShiftModifier)) {
        if (QTreeWidgetItem* item = tvw_->currentItem())
          tvwSQLServerExplorer_RButtonDown(item, tvw_->viewport()->mapToGlobal(tvw_->visualItemRect(item).center()));
        return true;
      }
      // A key that moves the selection acts as a left click on the new node,
      // once the tree has moved it.
      const QTreeWidgetItem* before = tvw_->currentItem();
      QTimer::singleShot(0, this, [this, before] {
        QTreeWidgetItem* now = tvw_->currentItem();
        if (now && now != before) tvwSQLServerExplorer_LButtonDown(now);
      });
      return false;
    }
    default: return false;
  }
}
