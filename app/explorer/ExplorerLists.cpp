// The two object lists: their columns for each kind, sorting by a header, the
// viewers, and which list has the focus.
#include <algorithm>

#include <QFocusEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTreeWidget>

#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"
#include "basErrorReports.h"
#include "basMessages.h"
#include "basScreen.h"
#include "basUtilities.h"
#include "dialogs/frmEncryptedObjectText.h"
#include "dialogs/frmObjectText.h"
#include "explorer/ExplorerFolderKind.h"
#include "explorer/frmSQLServerExplorer.h"
#include "frmApplication.h"
#include "vexilon_lib/CVexilon.h"

namespace {
struct Column {
  const char* title;
  int twips;
  int tag;
};
// Header Tags: 4 and 6 sort as dates, the others by text.
const Column kPlain[] = {{"Name", 3000, 1}, {"Owner", 1500, 2}, {"Date Created", 1800, 4}};
const Column kPlainTriggers[] = {{"Name", 3000, 1}, {"Table", 2000, 3}, {"Owner", 1500, 2}, {"Date Created", 1800, 4}};
const Column kEncrypted[] = {{"Name", 3000, 1},     {"Owner", 1500, 2},         {"Date Created", 1800, 4},
                             {"Archived", 900, 5},  {"Date Archived", 1800, 6}, {"Archive Version", 1300, 7}};
const Column kEncryptedTriggers[] = {{"Name", 3000, 3},          {"Table", 2000, 1},    {"Owner", 1500, 2},
                                     {"Date Created", 1800, 4},  {"Archived", 900, 5},  {"Date Archived", 1800, 6},
                                     {"Archive Version", 1300, 7}};

void SetBox(QLineEdit* box, const QString& text) {
  if (box) box->setText(text);
}

void SetViewTool(bool enabled) {
  if (MainWindow())
    if (QAction* tool = MainWindow()->Tool(QStringLiteral("miObView"))) tool->setEnabled(enabled);
}

// The text of an encrypted item's sub-item by its key.
QString SubItem(const QTreeWidgetItem* item, const QString& key) {
  const QTreeWidget* list = item->treeWidget();
  for (int c = 0; c < list->columnCount(); ++c)
    if (list->headerItem()->data(c, frmSQLServerExplorer::kKeyRole).toString() == key) return item->text(c);
  return {};
}
}  // namespace

void frmSQLServerExplorer::InitColumns(QTreeWidget* list, ENU_OBJECT_TYPES kind, bool encrypted) {
  const bool triggers = kind == ENU_OBT_TRIGGER;
  const Column* columns = encrypted ? (triggers ? kEncryptedTriggers : kEncrypted) : (triggers ? kPlainTriggers : kPlain);
  const int count = encrypted ? (triggers ? 7 : 6) : (triggers ? 4 : 3);
  // Sub-item keys of the encrypted list, read back by the viewer and the restore.
  static const char* const kSubKeys[] = {"", "W", "C", "A", "D", "V"};
  list->setFocusPolicy(Qt::StrongFocus);
  list->clear();
  list->setProperty("Tag", QStringLiteral("0"));
  auto* header = new QTreeWidgetItem;
  for (int c = 0; c < count; ++c) {
    header->setText(c, QLatin1String(columns[c].title));
    header->setData(c, kTagRole, columns[c].tag);
    const int keyIndex = triggers ? c - 1 : c;
    if (encrypted && triggers && c == 1)
      header->setData(c, kKeyRole, QStringLiteral("T"));
    else if (encrypted && keyIndex >= 1)
      header->setData(c, kKeyRole, QLatin1String(kSubKeys[keyIndex]));
  }
  list->setHeaderItem(header);
  // The designed widths, widened where the list's font needs more for a title or
  // a whole "dd/mm/yyyy hh:nn:ss" date.
  const QFontMetrics metrics(list->font());
  const int dateWidth = metrics.horizontalAdvance(QStringLiteral("00/00/0000 00:00:00")) + 16;
  for (int c = 0; c < count; ++c) {
    int width = std::max(vx::app::TwipsToPixels(columns[c].twips, false),
                         metrics.horizontalAdvance(QLatin1String(columns[c].title)) + 24);
    if (columns[c].tag == 4 || columns[c].tag == 6) width = std::max(width, dateWidth);
    list->setColumnWidth(c, width);
  }
  vx::app::SetColumnHeaderIcon(list, 0, QStringLiteral("A"));
}

void frmSQLServerExplorer::ClearList(QTreeWidget* list) {
  list->clear();
  list->setHeaderItem(new QTreeWidgetItem);
  list->setColumnCount(0);
  list->setFocusPolicy(Qt::NoFocus);
}

#define VX_INIT(name, list, kind, encrypted)                 \
  void frmSQLServerExplorer::name() {                        \
    VX_TRY InitColumns(list, kind, encrypted);               \
    VX_CATCH("frmSQLServerExplorer", #name)                  \
  }
VX_INIT(InitLVStoredProcedures, lvwObjects_, ENU_OBT_STORED_PROCEDURE, false)
VX_INIT(InitLVTriggers, lvwObjects_, ENU_OBT_TRIGGER, false)
VX_INIT(InitLVUserDefinedFunctions, lvwObjects_, ENU_OBT_USER_DEFINED_FUNCTION, false)
VX_INIT(InitLVViews, lvwObjects_, ENU_OBT_VIEW, false)
VX_INIT(InitLVEncryptedStoredProcedures, lvwEncryptedObjects_, ENU_OBT_STORED_PROCEDURE, true)
VX_INIT(InitLVEncryptedTriggers, lvwEncryptedObjects_, ENU_OBT_TRIGGER, true)
VX_INIT(InitLVEncryptedUserDefinedFunctions, lvwEncryptedObjects_, ENU_OBT_USER_DEFINED_FUNCTION, true)
VX_INIT(InitLVEncryptedViews, lvwEncryptedObjects_, ENU_OBT_VIEW, true)
#undef VX_INIT

void frmSQLServerExplorer::ClearLVObjects() { ClearList(lvwObjects_); }
void frmSQLServerExplorer::ClearLVEncryptedObjects() { ClearList(lvwEncryptedObjects_); }

void frmSQLServerExplorer::ColumnClick(QTreeWidget* list, int column) {
  const int tag = list->headerItem()->data(column, kTagRole).toInt();
  const bool wasAscending = list->property("Tag").toString() == QLatin1String("0");
  const int order = wasAscending ? 1 : 0;
  if (tag == 4 || tag == 6)
    vx::app::SortListView(list, column, 0, order);
  else if (tag >= 1 && tag <= 7)
    vx::app::SortListViewText(list, column, order);
  else
    return;
  list->setProperty("Tag", wasAscending ? QStringLiteral("1") : QStringLiteral("0"));
  vx::app::SetColumnHeaderIcon(list, column, wasAscending ? QStringLiteral("D") : QStringLiteral("A"));
}

void frmSQLServerExplorer::lvwObjects_ColumnClick(int column) {
  VX_TRY ColumnClick(lvwObjects_, column);
  VX_CATCH("frmSQLServerExplorer", "lvwObjects_ColumnClick")
}
void frmSQLServerExplorer::lvwEncryptedObjects_ColumnClick(int column) {
  VX_TRY ColumnClick(lvwEncryptedObjects_, column);
  VX_CATCH("frmSQLServerExplorer", "lvwEncryptedObjects_ColumnClick")
}

void frmSQLServerExplorer::ViewEncryptedObject(QTreeWidgetItem* oListItem) {
  VX_TRY
    if (!oListItem) return;
    vx::app::SetScreenMousePointer(vx::app::vbHourglass);
    vx::app::DoEvents();
    const int32_t id = NodeKey(oListItem).mid(1).toInt();
    vx::VbBool exists = vx::kFalse;
    const UDT_OBJECT archived = vexilon_->GetArchivedObject(lngCurrentDatabaseID_, id, exists);
    if (exists == vx::kFalse) {
      vx::app::SetScreenMousePointer(vx::app::vbDefault);
      vx::app::MsgBox(QStringLiteral("This object does not exist in the Vexilon archive."), vx::app::vbExclamation);
      return;
    }
    frmEncryptedObjectText viewer(this);
    SetBox(viewer.txtObjectName, oListItem->text(0));
    SetBox(viewer.txtOwner, SubItem(oListItem, QStringLiteral("W")));
    SetBox(viewer.txtCreateDate, SubItem(oListItem, QStringLiteral("C")));
    SetBox(viewer.txtArchivedDate, SubItem(oListItem, QStringLiteral("D")));
    SetBox(viewer.txtArchived, SubItem(oListItem, QStringLiteral("A")));
    SetBox(viewer.txtArchivedVersion, SubItem(oListItem, QStringLiteral("V")));
    viewer.SetScript(QString::fromStdString(archived.strScript));
    viewer.FillfrmEncryptedObjectText();
    vx::app::SetScreenMousePointer(vx::app::vbDefault);
    vx::app::ShowModal(viewer);
  VX_CATCH("frmSQLServerExplorer", "ViewEncryptedObject")
}

void frmSQLServerExplorer::ViewObject(QTreeWidgetItem* oListItem) {
  try {
    if (!oListItem) return;
    vx::app::SetScreenMousePointer(vx::app::vbHourglass);
    setEnabled(false);
    const QString key = NodeKey(oListItem);
    const ExplorerFolderKind* kind = ExplorerFolderKind::OfItemLetter(key.isEmpty() ? QChar() : key.at(0));
    const int32_t id = key.mid(1).toInt();
    UDT_OBJECT object;
    bool gone = kind == nullptr;
    if (kind) {
      try {
        switch (kind->type) {
          case ENU_OBT_STORED_PROCEDURE: object = vexilon_->GetStoredProcedure(lngCurrentDatabaseID_, id); break;
          case ENU_OBT_TRIGGER: object = vexilon_->GetTrigger(lngCurrentDatabaseID_, id); break;
          case ENU_OBT_USER_DEFINED_FUNCTION: object = vexilon_->GetUserDefinedFunction(lngCurrentDatabaseID_, id); break;
          case ENU_OBT_VIEW: object = vexilon_->GetView(lngCurrentDatabaseID_, id); break;
        }
        gone = object.lngID != id;
      } catch (const vx::ComError& e) {
        if (e.Number() == vx::err::kServerConnection) throw;
        gone = true;  // its text can no longer be read: encrypted or dropped meanwhile
      }
    }
    if (gone) {
      setEnabled(true);
      vx::app::SetScreenMousePointer(vx::app::vbDefault);
      vx::app::MsgBox(QStringLiteral("This object no longer exists on the SQL Server or has been encrypted since the "
                                     "list was filled. The list will be refreshed."),
                      vx::app::vbExclamation);
      if (kind) RefreshFolder(kind->type);
      return;
    }
    frmObjectText viewer(this);
    SetBox(viewer.txtObjectName, QString::fromStdString(object.strObjectName));
    SetBox(viewer.txtOwner, QString::fromStdString(object.strOwnerName));
    SetBox(viewer.txtCreateDate, QString::fromStdString(object.strCreateDate));
    viewer.SetScript(QString::fromStdString(object.strScript));
    viewer.FillfrmObjectText();
    setEnabled(true);
    vx::app::SetScreenMousePointer(vx::app::vbDefault);
    vx::app::ShowModal(viewer);
  } catch (...) {
    setEnabled(true);
    vx::app::SetScreenMousePointer(vx::app::vbDefault);
    if (!HandleConnectionLost()) vx::app::ReportError("frmSQLServerExplorer", "ViewObject");
  }
}

void frmSQLServerExplorer::lvwObjects_DblClick() {
  VX_TRY ViewObject(lvwObjects_->currentItem());
  VX_CATCH("frmSQLServerExplorer", "lvwObjects_DblClick")
}
void frmSQLServerExplorer::lvwEncryptedObjects_DblClick() {
  VX_TRY ViewEncryptedObject(lvwEncryptedObjects_->currentItem());
  VX_CATCH("frmSQLServerExplorer", "lvwEncryptedObjects_DblClick")
}

void frmSQLServerExplorer::lvwObjects_GotFocus() {
  VX_TRY
    listViewSelected_ = ENU_LVS_OBJECTS;
    SetViewTool(true);
  VX_CATCH("frmSQLServerExplorer", "lvwObjects_GotFocus")
}
void frmSQLServerExplorer::lvwEncryptedObjects_GotFocus() {
  VX_TRY
    listViewSelected_ = ENU_LVS_ENCRYPTED_OBJECTS;
    SetViewTool(true);
  VX_CATCH("frmSQLServerExplorer", "lvwEncryptedObjects_GotFocus")
}

// Focus that goes to a menu or popup comes back to the list: the main window's
// Object > View must still know which list to view from.
void frmSQLServerExplorer::lvwObjects_LostFocus(Qt::FocusReason reason) {
  VX_TRY
    if (reason == Qt::PopupFocusReason || reason == Qt::MenuBarFocusReason) return;
    listViewSelected_ = ENU_NONE;
    SetViewTool(false);
  VX_CATCH("frmSQLServerExplorer", "lvwObjects_LostFocus")
}
void frmSQLServerExplorer::lvwEncryptedObjects_LostFocus(Qt::FocusReason reason) {
  VX_TRY
    if (reason == Qt::PopupFocusReason || reason == Qt::MenuBarFocusReason) return;
    listViewSelected_ = ENU_NONE;
    SetViewTool(false);
  VX_CATCH("frmSQLServerExplorer", "lvwEncryptedObjects_LostFocus")
}

bool frmSQLServerExplorer::ListEvent(QTreeWidget* list, QEvent* event) {
  const bool plain = list == lvwObjects_;
  switch (event->type()) {
    case QEvent::FocusIn:
      if (plain) lvwObjects_GotFocus(); else lvwEncryptedObjects_GotFocus();
      return false;
    case QEvent::FocusOut: {
      const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
      if (plain) lvwObjects_LostFocus(reason); else lvwEncryptedObjects_LostFocus(reason);
      return false;
    }
    case QEvent::KeyPress: {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (key != Qt::Key_Return && key != Qt::Key_Enter) return false;
      if (plain) lvwObjects_DblClick(); else lvwEncryptedObjects_DblClick();
      return true;
    }
    default: return false;
  }
}
