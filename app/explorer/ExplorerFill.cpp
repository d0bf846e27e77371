// Filling the two object lists of a folder: from the engine (and remembering
// what it returned for the folder's cache), or again from a folder's cache,
// with the archive's records read afresh each time.
#include <cstdio>

#include <QHash>
#include <QTreeWidget>

#include "automation/DateText.h"
#include "basErrorReports.h"
#include "explorer/ExplorerFolderKind.h"
#include "explorer/frmSQLServerExplorer.h"
#include "frmApplication.h"
#include "vexilon_global/CGlobal.h"
#include "vexilon_lib/CVexilon.h"

namespace {
// An engine date text as "dd/mm/yyyy hh:nn:ss"; a text that reads as no date is
// shown as it stands.
QString DateCell(const std::string& text) {
  vx::OleDate date = 0;
  if (!vx::TextToDate(text, date)) return QString::fromStdString(text);
  const vx::DateParts p = vx::OleToDateParts(date);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02d/%02d/%04d %02d:%02d:%02d", p.day, p.month, p.year, p.hour, p.minute,
                p.second);
  return QString::fromLatin1(buffer);
}

QIcon Picture(char letter) {
  return MainWindow() ? MainWindow()->imlSQLServerExplorer(QString(QLatin1Char(letter))) : QIcon();
}

QTreeWidgetItem* NewItem(const UDT_OBJECT& o, char letter, const QIcon& icon, bool trigger) {
  auto* item = new QTreeWidgetItem;
  item->setText(0, QString::fromStdString(o.strObjectName));
  item->setData(0, frmSQLServerExplorer::kKeyRole, QLatin1Char(letter) + QString::number(o.lngID));
  item->setIcon(0, icon);
  item->setCheckState(0, Qt::Unchecked);
  int c = 1;
  if (trigger) {
    item->setData(0, frmSQLServerExplorer::kTagRole, o.lngTableID);
    item->setText(c++, QString::fromStdString(o.strTableName));
  }
  item->setText(c++, QString::fromStdString(o.strOwnerName));
  item->setText(c, DateCell(o.strCreateDate));
  return item;
}

vx::VbBool IgnoreSystemObjects() {
  return CGlobal::Instance().ShowSystemObjects() != vx::kFalse ? vx::kFalse : vx::kTrue;
}

UDT_OBJECT_CONTAINER PlainObjects(CVexilon& engine, ENU_OBJECT_TYPES kind, int32_t db) {
  switch (kind) {
    case ENU_OBT_STORED_PROCEDURE: return engine.GetStoredProcedures(db, IgnoreSystemObjects());
    case ENU_OBT_TRIGGER: return engine.GetTriggers(db, IgnoreSystemObjects());
    case ENU_OBT_USER_DEFINED_FUNCTION: return engine.GetUserDefinedFunctions(db, IgnoreSystemObjects());
    case ENU_OBT_VIEW: return engine.GetViews(db, IgnoreSystemObjects());
  }
  return {};
}

UDT_OBJECT_CONTAINER EncryptedObjects(CVexilon& engine, ENU_OBJECT_TYPES kind, int32_t db) {
  switch (kind) {
    case ENU_OBT_STORED_PROCEDURE: return engine.GetEncryptedStoredProcedures(db, IgnoreSystemObjects());
    case ENU_OBT_TRIGGER: return engine.GetEncryptedTriggers(db, IgnoreSystemObjects());
    case ENU_OBT_USER_DEFINED_FUNCTION: return engine.GetEncryptedUserDefinedFunctions(db, IgnoreSystemObjects());
    case ENU_OBT_VIEW: return engine.GetEncryptedViews(db, IgnoreSystemObjects());
  }
  return {};
}

// Adds every item in one go, with painting held back meanwhile.
void AddItems(QTreeWidget* list, const QList<QTreeWidgetItem*>& items) {
  list->setUpdatesEnabled(false);
  list->addTopLevelItems(items);
  list->setUpdatesEnabled(true);
}

void AddPlainItems(QTreeWidget* list, ENU_OBJECT_TYPES kind, const UDT_OBJECT_CONTAINER& objects) {
  const ExplorerFolderKind& k = *ExplorerFolderKind::OfType(kind);
  const QIcon icon = Picture(k.plainLetter);
  QList<QTreeWidgetItem*> items;
  items.reserve(objects.lngElements);
  for (int32_t i = 0; i < objects.lngElements; ++i)
    items.append(NewItem(objects.arrObjects[static_cast<size_t>(i)], k.plainLetter, icon, kind == ENU_OBT_TRIGGER));
  AddItems(list, items);
}

void AddEncryptedItems(QTreeWidget* list, ENU_OBJECT_TYPES kind, const UDT_OBJECT_CONTAINER& objects,
                       const UDT_OBJECT_ID_CONTAINER& archived) {
  const ExplorerFolderKind& k = *ExplorerFolderKind::OfType(kind);
  const QIcon icon = Picture(k.encryptedLetter);
  // The first archive record of each id decides, as a scan from the start would.
  QHash<int32_t, int32_t> firstRecord;
  firstRecord.reserve(archived.lngElements);
  for (int32_t i = 0; i < archived.lngElements; ++i) {
    const int32_t id = archived.arrObjects[static_cast<size_t>(i)].lngID;
    if (!firstRecord.contains(id)) firstRecord.insert(id, i);
  }
  const int archivedColumn = kind == ENU_OBT_TRIGGER ? 4 : 3;
  QList<QTreeWidgetItem*> items;
  items.reserve(objects.lngElements);
  for (int32_t i = 0; i < objects.lngElements; ++i) {
    const UDT_OBJECT& o = objects.arrObjects[static_cast<size_t>(i)];
    QTreeWidgetItem* item = NewItem(o, k.encryptedLetter, icon, kind == ENU_OBT_TRIGGER);
    auto found = firstRecord.constFind(o.lngID);
    if (found == firstRecord.constEnd()) {
      item->setText(archivedColumn, QStringLiteral("No"));
    } else {
      const UDT_OBJECT_ID& record = archived.arrObjects[static_cast<size_t>(*found)];
      item->setText(archivedColumn, QStringLiteral("Yes"));
      item->setText(archivedColumn + 1, DateCell(record.strArchivedDate));
      item->setText(archivedColumn + 2, record.lngSchemaVersion == o.lngSchemaVersion ? QStringLiteral("Matches")
                                        : record.lngSchemaVersion > o.lngSchemaVersion ? QStringLiteral("Newer")
                                                                                       : QStringLiteral("Older"));
    }
    items.append(item);
  }
  AddItems(list, items);
}

const char* const kFromDb[] = {"", "FillLVStoredProceduresFromDb", "FillLVTriggersFromDb",
                               "FillLVUserDefinedFunctionsFromDb", "FillLVViewsFromDb"};
const char* const kFromContainer[] = {"", "FillLVStoredProceduresFromContainer", "FillLVTriggersFromContainer",
                                      "FillLVUserDefinedFunctionsFromContainer", "FillLVViewsFromContainer"};
}  // namespace

void frmSQLServerExplorer::FillFromDb(ENU_OBJECT_TYPES kind, int32_t lngDatabaseID) {
  try {
    const UDT_OBJECT_CONTAINER plain = PlainObjects(*vexilon_, kind, lngDatabaseID);
    AddPlainItems(lvwObjects_, kind, plain);
    typCurrentNodeObjectContainer.typObjectContainer = plain;
    const UDT_OBJECT_CONTAINER encrypted = EncryptedObjects(*vexilon_, kind, lngDatabaseID);
    AddEncryptedItems(lvwEncryptedObjects_, kind, encrypted, vexilon_->GetArchivedObjectIDs(lngDatabaseID, kind));
    typCurrentNodeObjectContainer.typEncryptedObjectContainer = encrypted;
    // Whoever fills the lists, the status text counts what they now show.
    WriteFolderStatus(ExplorerFolderKind::OfType(kind)->StatusLabel());
  } catch (...) {
    if (!HandleConnectionLost()) vx::app::ReportError("frmSQLServerExplorer", kFromDb[kind]);
  }
}

void frmSQLServerExplorer::FillFromContainer(ENU_OBJECT_TYPES kind, int32_t lngDatabaseID,
                                             const UDT_NODE_OBJECTS_CONTAINER& objects) {
  try {
    AddPlainItems(lvwObjects_, kind, objects.typObjectContainer);
    AddEncryptedItems(lvwEncryptedObjects_, kind, objects.typEncryptedObjectContainer,
                      vexilon_->GetArchivedObjectIDs(lngDatabaseID, kind));
    WriteFolderStatus(ExplorerFolderKind::OfType(kind)->StatusLabel());
  } catch (...) {
    vx::app::ReportError("frmSQLServerExplorer", kFromContainer[kind]);
  }
}

void frmSQLServerExplorer::RefillLists(ENU_OBJECT_TYPES kind, int32_t lngDatabaseID) {
  InitColumns(lvwObjects_, kind, false);
  InitColumns(lvwEncryptedObjects_, kind, true);
  FillFromDb(kind, lngDatabaseID);
}

void frmSQLServerExplorer::FillLVStoredProceduresFromDb(int32_t id) { FillFromDb(ENU_OBT_STORED_PROCEDURE, id); }
void frmSQLServerExplorer::FillLVTriggersFromDb(int32_t id) { FillFromDb(ENU_OBT_TRIGGER, id); }
void frmSQLServerExplorer::FillLVUserDefinedFunctionsFromDb(int32_t id) {
  FillFromDb(ENU_OBT_USER_DEFINED_FUNCTION, id);
}
void frmSQLServerExplorer::FillLVViewsFromDb(int32_t id) { FillFromDb(ENU_OBT_VIEW, id); }

void frmSQLServerExplorer::FillLVStoredProceduresFromContainer(int32_t id, UDT_NODE_OBJECTS_CONTAINER& objects) {
  FillFromContainer(ENU_OBT_STORED_PROCEDURE, id, objects);
}
void frmSQLServerExplorer::FillLVTriggersFromContainer(int32_t id, UDT_NODE_OBJECTS_CONTAINER& objects) {
  FillFromContainer(ENU_OBT_TRIGGER, id, objects);
}
void frmSQLServerExplorer::FillLVUserDefinedFunctionsFromContainer(int32_t id, UDT_NODE_OBJECTS_CONTAINER& objects) {
  FillFromContainer(ENU_OBT_USER_DEFINED_FUNCTION, id, objects);
}
void frmSQLServerExplorer::FillLVViewsFromContainer(int32_t id, UDT_NODE_OBJECTS_CONTAINER& objects) {
  FillFromContainer(ENU_OBT_VIEW, id, objects);
}
