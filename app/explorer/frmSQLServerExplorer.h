#pragma once
// The server explorer: the tree of registered servers, their databases and four
// object folders, and the two lists of the selected folder (unencrypted and
// encrypted objects). Its state is shared by the tree clicks, the connection
// handling, the list filling and the commands, each in its own file:
//   frmSQLServerExplorer.cpp         set-up, properties, window events
//   ExplorerTree.cpp                 node keys, Tags and the key index
//   ExplorerConnection.cpp           connecting and lazy expansion
//   ExplorerLists.cpp                list columns, list events, viewers
//   ExplorerClicks.cpp               tree clicks and context menus
//   ExplorerFill.cpp                 filling the lists (engine and cache)
//   ExplorerCommands.cpp             the context-menu commands
//   ExplorerBatches.cpp              encrypt/restore of selected objects
//   ExplorerDatabaseBatches.cpp      encrypt/restore of a whole database
//   ExplorerRunStop.cpp              a run that lost its server connection
//
// Tree nodes are found by key through the index, never by item pointers kept
// across calls that may remove nodes. Node keys: "E" root, "S"+server, "I"+server
// (failed), "A"+server (databases folder), "D"/"J"+id+":S"+server (database /
// denied), "P"/"T"/"F"/"V"+id+":S"+server (folders). The placeholder child
// "|EMPTY|" has no key. List item keys: a kind letter and the object id.
#include <map>
#include <memory>

#include <QHash>
#include <QString>
#include <QWidget>

#include "vexilon_global/Types.h"

class CVexilon;
class ExplorerBatchRun;
class QAction;
class QLabel;
class QMenu;
class QSplitter;
class QTreeWidget;
class QTreeWidgetItem;

// The objects of the folder whose lists were last filled from the engine.
extern UDT_NODE_OBJECTS_CONTAINER typCurrentNodeObjectContainer;

class frmSQLServerExplorer : public QWidget {
  Q_OBJECT

 public:
  // Item data roles: the key of a node or list item, and a trigger item's table id.
  static constexpr int kKeyRole = Qt::UserRole;
  static constexpr int kTagRole = Qt::UserRole + 1;
  // The placeholder text under a node whose children come on first expansion.
  static constexpr const char* kEmptyPlaceholder = "|EMPTY|";

  explicit frmSQLServerExplorer(QWidget* parent = nullptr);
  ~frmSQLServerExplorer() override;

  // ---- properties and set-up
  CVexilon& Vexilon() const;  // valid after FillfrmSQLServerExplorer
  ENU_LISTVIEW_SELECTED ListViewSelected() const { return listViewSelected_; }
  QString SQLServerName() const { return sqlServerName_; }
  void SetSQLServerName(const QString& name) { sqlServerName_ = name; }
  UDT_LOGIN_CREDENTIALS LoginCredentials() const { return loginCredentials_; }
  void SetLoginCredentials(const UDT_LOGIN_CREDENTIALS& credentials) { loginCredentials_ = credentials; }
  int32_t CurrentDatabaseID() const { return lngCurrentDatabaseID_; }
  ENU_OBJECT_TYPES CurrentObjectType() const { return enumCurrentObjectType_; }
  void FillfrmSQLServerExplorer();
  // What the explorer last wrote to the main window's status text, and whether
  // it shows it.
  QString StatusText() const { return statusText_; }
  bool StatusVisible() const { return statusVisible_; }
  void Form_Activate();
  void Form_Deactivate();
  void Form_Unload();

  // ---- controls
  QTreeWidget* tvwSQLServerExplorer() const { return tvw_; }
  QTreeWidget* lvwObjects() const { return lvwObjects_; }
  QTreeWidget* lvwEncryptedObjects() const { return lvwEncryptedObjects_; }
  QSplitter* aszSQLServerExplorer() const { return asz_; }
  // The explorer's popup menus by band name (pomSQLServers, pomSQLServer,
  // pomDatabases, pomDatabase, pomStoredProcedures, pomTriggers,
  // pomUserDefinedFunctions, pomViews) and their tools by name.
  QMenu* Band(const QString& name) const;
  QAction* ExplorerTool(const QString& name) const;

  // ---- tree nodes (ExplorerTree.cpp)
  QTreeWidgetItem* NodeByKey(const QString& key) const;  // nullptr when none
  static QString NodeKey(const QTreeWidgetItem* node);   // "" for the placeholder
  QTreeWidgetItem* AddNode(QTreeWidgetItem* parent, const QString& key, const QString& text,
                           const QString& imageKey);
  void AddPlaceholder(QTreeWidgetItem* parent);
  void SetNodeKey(QTreeWidgetItem* node, const QString& newKey);
  void RemoveChildren(QTreeWidgetItem* node);
  void RemoveNode(QTreeWidgetItem* node);
  QTreeWidgetItem* ServerNodeOf(QTreeWidgetItem* node) const;  // the "S"/"I" node above or at it
  UDT_LOGIN_CREDENTIALS ServerTag(const QTreeWidgetItem* serverNode) const;
  void SetServerTag(QTreeWidgetItem* serverNode, const UDT_LOGIN_CREDENTIALS& credentials);
  bool FolderTag(const QTreeWidgetItem* folderNode, UDT_NODE_OBJECTS_CONTAINER& objects) const;
  void SetFolderTag(QTreeWidgetItem* folderNode, const UDT_NODE_OBJECTS_CONTAINER& objects);
  void ClearFolderTag(QTreeWidgetItem* folderNode);
  // A registered server's node: "S" node (expanded) with its Tag, its
  // "Databases" node and the placeholder under that.
  QTreeWidgetItem* AddServerNode(const UDT_LOGIN_CREDENTIALS& credentials);
  // The database id of a database or folder key ("D7:SALPHA" gives 7; 0 when none).
  static int32_t DatabaseIdFromKey(const QString& key);

  // ---- connection and lazy expansion (ExplorerConnection.cpp)
  ENU_SERVER_CONNECTION_RESPONSES ConnectServer(const UDT_LOGIN_CREDENTIALS& typLoginCredentials);
  ENU_SERVER_CONNECTION_RESPONSES ConnectServerDatabase(const UDT_LOGIN_CREDENTIALS& typLoginCredentials,
                                                        int32_t lngDatabaseID);
  void GetDatabases(QTreeWidgetItem* node);
  void GetDatabaseObjects(QTreeWidgetItem* node, int32_t lngDatabaseID);
  void tvwSQLServerExplorer_BeforeExpand(QTreeWidgetItem* node, bool bProcessed = false);
  void SQLServerConnectionBroken(QTreeWidgetItem* node);
  bool IsSQLServerConnected();

  // ---- list columns, list events, viewers (ExplorerLists.cpp)
  void InitLVStoredProcedures();
  void InitLVTriggers();
  void InitLVUserDefinedFunctions();
  void InitLVViews();
  void InitLVEncryptedStoredProcedures();
  void InitLVEncryptedTriggers();
  void InitLVEncryptedUserDefinedFunctions();
  void InitLVEncryptedViews();
  void ClearLVObjects();
  void ClearLVEncryptedObjects();
  void ViewObject(QTreeWidgetItem* oListItem);
  void ViewEncryptedObject(QTreeWidgetItem* oListItem);
  void lvwObjects_ColumnClick(int column);
  void lvwEncryptedObjects_ColumnClick(int column);
  void lvwObjects_DblClick();
  void lvwEncryptedObjects_DblClick();
  void lvwObjects_GotFocus();
  void lvwEncryptedObjects_GotFocus();
  void lvwObjects_LostFocus(Qt::FocusReason reason);
  void lvwEncryptedObjects_LostFocus(Qt::FocusReason reason);

  // ---- tree clicks and context menus (ExplorerClicks.cpp)
  void tvwSQLServerExplorer_LButtonDown(QTreeWidgetItem* node);
  // Right click (or the context-menu key); shows the node's menu at `globalPos`.
  void tvwSQLServerExplorer_RButtonDown(QTreeWidgetItem* node, const QPoint& globalPos);

  // ---- filling the lists (ExplorerFill.cpp)
  void FillLVStoredProceduresFromDb(int32_t lngDatabaseID);
  void FillLVTriggersFromDb(int32_t lngDatabaseID);
  void FillLVUserDefinedFunctionsFromDb(int32_t lngDatabaseID);
  void FillLVViewsFromDb(int32_t lngDatabaseID);
  void FillLVStoredProceduresFromContainer(int32_t lngDatabaseID, UDT_NODE_OBJECTS_CONTAINER& typNodeObjectContainer);
  void FillLVTriggersFromContainer(int32_t lngDatabaseID, UDT_NODE_OBJECTS_CONTAINER& typNodeObjectContainer);
  void FillLVUserDefinedFunctionsFromContainer(int32_t lngDatabaseID,
                                               UDT_NODE_OBJECTS_CONTAINER& typNodeObjectContainer);
  void FillLVViewsFromContainer(int32_t lngDatabaseID, UDT_NODE_OBJECTS_CONTAINER& typNodeObjectContainer);
  // Both lists' columns for the kind, then both lists from the engine.
  void RefillLists(ENU_OBJECT_TYPES kind, int32_t lngDatabaseID);

  // ---- commands (ExplorerCommands.cpp, ExplorerBatches.cpp, ExplorerDatabaseBatches.cpp)
  void acbSQLServerExplorer_ToolClick(const QString& toolName);
  void EncryptSelected();
  void RestoreSelected();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  bool EncryptAllDatabaseObjects(int32_t lngDatabaseID);
  bool RestoreAllDatabaseObjects(int32_t lngDatabaseID);
  void BuildMenus();
  void BuildControls();

  // busy state of the clicks and the expansion; the status text
  void EnterBusy();
  void LeaveBusy();
  void HideStatus();
  void WriteFolderStatus(const QString& label);
  // Inside a catch block: true when the error is a lost server connection, after
  // marking the connected server's node (no error report then).
  bool HandleConnectionLost();
  // Inside a catch block: true when the error is a lost server connection.
  static bool IsConnectionLost();

  // Where an encrypt or restore run stood when its connection was lost.
  struct RunStop {
    bool encrypt = true;
    ENU_OBJECT_TYPES folderKind = static_cast<ENU_OBJECT_TYPES>(0);  // 0: a whole database
    int done = 0;        // objects handled before the loss
    int total = 0;       // objects the run was to handle
    UDT_OBJECT current;  // the object in hand when it was lost
  };
  // Ends such a run so that the window tells what happened: the bar goes, a log
  // item records the stop, the server is connected again to show what it holds
  // (or its node is marked failed and the lists are emptied), and one message
  // says where the run stopped (ExplorerRunStop.cpp).
  void RunConnectionLost(ExplorerBatchRun& run, const RunStop& stop);
  // The text of the database node of lngCurrentDatabaseID_ ("" when none).
  QString CurrentDatabaseName() const;

  // shared by the four kinds (ExplorerLists.cpp, ExplorerFill.cpp, ExplorerClicks.cpp)
  void InitColumns(QTreeWidget* list, ENU_OBJECT_TYPES kind, bool encrypted);
  void ClearList(QTreeWidget* list);
  void ColumnClick(QTreeWidget* list, int column);
  void FillFromDb(ENU_OBJECT_TYPES kind, int32_t lngDatabaseID);
  void FillFromContainer(ENU_OBJECT_TYPES kind, int32_t lngDatabaseID, const UDT_NODE_OBJECTS_CONTAINER& objects);
  void FillLists(ENU_OBJECT_TYPES kind, int32_t lngDatabaseID, const UDT_OBJECT_CONTAINER& plain,
                 const UDT_OBJECT_CONTAINER& encrypted);
  void ClearLists();
  void FolderSelection(QTreeWidgetItem* folder, bool rightClick, const QPoint& globalPos);
  void ShowBand(const QString& name, const QPoint& globalPos);
  void RefreshFolder(ENU_OBJECT_TYPES kind);
  void OnItemExpanded(QTreeWidgetItem* item);
  void SelectNode(QTreeWidgetItem* node);
  bool TreeEvent(QEvent* event);
  bool ListEvent(QTreeWidget* list, QEvent* event);

  // window state
  QString sqlServerName_;
  int32_t lngCurrentDatabaseID_ = 0;
  ENU_OBJECT_TYPES enumCurrentObjectType_ = static_cast<ENU_OBJECT_TYPES>(0);
  UDT_LOGIN_CREDENTIALS loginCredentials_;
  // Never written: empty texts and authentication type 0.
  static UDT_LOGIN_CREDENTIALS EmptyCredentials();
  const UDT_LOGIN_CREDENTIALS typEmptyLoginCredentials_ = EmptyCredentials();
  std::unique_ptr<CVexilon> vexilon_;
  ENU_LISTVIEW_SELECTED listViewSelected_ = static_cast<ENU_LISTVIEW_SELECTED>(0);
  QString statusText_;
  bool statusVisible_ = false;

  // controls
  QTreeWidget* tvw_ = nullptr;
  QTreeWidget* lvwObjects_ = nullptr;
  QTreeWidget* lvwEncryptedObjects_ = nullptr;
  QSplitter* asz_ = nullptr;
  QLabel* txtDatabaseObjects_ = nullptr;
  QLabel* txtEncryptedDatabaseObjects_ = nullptr;
  std::map<QString, QMenu*> bands_;

  // the key index and the Tags, by key
  QHash<QString, QTreeWidgetItem*> nodeIndex_;
  std::map<QString, UDT_LOGIN_CREDENTIALS> serverTags_;
  std::map<QString, UDT_NODE_OBJECTS_CONTAINER> folderTags_;
};
