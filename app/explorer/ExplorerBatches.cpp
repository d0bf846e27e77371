// Encrypt and restore of the checked objects of the folder the lists show.
#include <optional>

#include <QTreeWidget>

#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"
#include "basErrorReports.h"
#include "basMessages.h"
#include "basScreen.h"
#include "explorer/ExplorerBatchRun.h"
#include "explorer/ExplorerKinds.h"
#include "explorer/ExplorerPrompts.h"
#include "explorer/frmSQLServerExplorer.h"
#include "sqlserver/SQLServer.h"
#include "vexilon_lib/CVexilon.h"

using vx::app::MsgBox;

namespace {

// The column of a list whose header reads `title` (-1 when none).
int ColumnOf(const QTreeWidget* list, const QString& title) {
  const QTreeWidgetItem* header = list->headerItem();
  for (int c = 0; header && c < header->columnCount(); ++c)
    if (header->text(c) == title) return c;
  return -1;
}

// The object an item of the lists stands for, as far as a run needs it (its
// owner and table from those columns, when the list has them).
UDT_OBJECT ItemObject(const QTreeWidgetItem* item, ENU_OBJECT_TYPES kind, int ownerColumn, int tableColumn) {
  UDT_OBJECT o;
  o.enumObjectType = kind;
  o.lngID = frmSQLServerExplorer::NodeKey(item).mid(1).toInt();
  const QVariant tag = item->data(0, frmSQLServerExplorer::kTagRole);
  if (kind == ENU_OBT_TRIGGER && tag.isValid() && !tag.toString().isEmpty()) o.lngTableID = tag.toInt();
  o.strObjectName = item->text(0).toStdString();
  if (ownerColumn >= 0) o.strOwnerName = item->text(ownerColumn).toStdString();
  if (kind == ENU_OBT_TRIGGER && tableColumn >= 0) o.strTableName = item->text(tableColumn).toStdString();
  return o;
}

int CheckedCount(const QTreeWidget* list) {
  int checked = 0;
  for (int i = 0; i < list->topLevelItemCount(); ++i)
    if (list->topLevelItem(i)->checkState(0) == Qt::Checked) ++checked;
  return checked;
}

}  // namespace

// The closing messages of a run over the checked items.
struct ClosingTexts {
  const char* someDone;
  const char* noneDone;
  const char* completed;
};

// Ends a run over the checked items: the lists refilled when anything changed,
// and the closing message. The status text counts what the lists show, also
// when nothing changed: the working text would say the run still goes on.
static void FinishSelectedRun(frmSQLServerExplorer& ex, ExplorerBatchRun& run, ENU_OBJECT_TYPES kind, bool checked,
                              bool changed, const ClosingTexts& texts) {
  auto counts = [&] {
    if (!ExplorerKinds::IsKind(kind)) return run.Status();
    const int plain = ex.lvwObjects()->topLevelItemCount();
    const int encrypted = ex.lvwEncryptedObjects()->topLevelItemCount();
    return ExplorerKinds::StatusLabel(kind) + QString::number(plain + encrypted) + QStringLiteral(" items (") +
           QString::number(encrypted) + QStringLiteral(" encrypted)");
  };
  if (!checked) {
    run.End(counts());
    vx::app::MsgBox(QStringLiteral("There are no items selected."), vx::app::vbInformation);
  } else {
    if (changed) ex.RefillLists(kind, ex.CurrentDatabaseID());
    run.End(counts());
    if (ex.Vexilon().GetErrorsExist())
      vx::app::MsgBox(QString::fromLatin1(changed ? texts.someDone : texts.noneDone), vx::app::vbExclamation);
    else
      vx::app::MsgBox(QString::fromLatin1(texts.completed), vx::app::vbInformation);
  }
  vx::app::DoEvents();
}

void frmSQLServerExplorer::EncryptSelected() {
  std::optional<ExplorerBatchRun> run;
  RunStop stop;
  stop.folderKind = enumCurrentObjectType_;
  try {
    const bool archive = ExplorerBatchRun::TakeArchiving();
    const ENU_OBJECT_TYPES kind = enumCurrentObjectType_;
    const bool known = ExplorerKinds::IsKind(kind);
    const int ownerColumn = ColumnOf(lvwObjects_, QStringLiteral("Owner"));
    const int tableColumn = ColumnOf(lvwObjects_, QStringLiteral("Table"));
    run.emplace(this);
    const int count = lvwObjects_->topLevelItemCount();
    stop.total = CheckedCount(lvwObjects_);
    run->Begin(count, known ? ExplorerKinds::WorkingText(kind, true) : QString());
    Vexilon().SetErrorsExist(vx::kFalse);
    bool checked = false, changed = false;
    for (int i = 1; i <= count; ++i) {
      QTreeWidgetItem* item = lvwObjects_->topLevelItem(i - 1);
      if (item && item->checkState(0) == Qt::Checked) {
        checked = true;
        stop.current = ItemObject(item, kind, ownerColumn, tableColumn);
        if (known && ExplorerKinds::Encrypt(Vexilon(), kind, archive, lngCurrentDatabaseID_, stop.current))
          changed = true;
        ++stop.done;
      }
      run->Step(i);
    }
    FinishSelectedRun(*this, *run, kind, checked, changed,
                      {"Errors occured during encryption, however some items were encrypted. Please view the "
                       "Vexilon log for details.",
                       "Errors occured during encryption and no items were encrypted. Please view the Vexilon "
                       "log for details.",
                       "Encryption completed."});
  } catch (...) {
    if (run && IsConnectionLost()) return RunConnectionLost(*run, stop);
    if (!HandleConnectionLost()) vx::app::ReportError("frmSQLServerExplorer", "EcryptSelected", __LINE__);
  }
}

void frmSQLServerExplorer::RestoreSelected() {
  std::optional<ExplorerBatchRun> run;
  RunStop stop;
  stop.encrypt = false;
  stop.folderKind = enumCurrentObjectType_;
  try {
    const ENU_OBJECT_TYPES kind = enumCurrentObjectType_;
    const bool known = ExplorerKinds::IsKind(kind);
    const int ownerColumn = ColumnOf(lvwEncryptedObjects_, QStringLiteral("Owner"));
    const int tableColumn = ColumnOf(lvwEncryptedObjects_, QStringLiteral("Table"));
    run.emplace(this);
    const int count = lvwEncryptedObjects_->topLevelItemCount();
    stop.total = CheckedCount(lvwEncryptedObjects_);
    run->Begin(count, known ? ExplorerKinds::WorkingText(kind, false) : QString());
    Vexilon().SetErrorsExist(vx::kFalse);
    bool checked = false, changed = false;
    for (int i = 1; i <= count; ++i) {
      QTreeWidgetItem* item = lvwEncryptedObjects_->topLevelItem(i - 1);
      if (item && item->checkState(0) == Qt::Checked) {
        checked = true;
        const UDT_OBJECT o = ItemObject(item, kind, ownerColumn, tableColumn);
        stop.current = o;
        // Only a restore counts as one: a failure (no archive copy, the server
        // step failed) leaves the object as it was.
        const int32_t r = known ? ExplorerKinds::Restore(Vexilon(), lngCurrentDatabaseID_, o, false) : ENU_RES_FAILED;
        if (r == ENU_RES_SUCCESSFUL) {
          changed = true;
        } else if (r == ENU_RES_ARCHIVE_VERSION_OLDER) {
          const QString prompt = ExplorerPrompts::OlderArchive(ExplorerKinds::DatabaseName(Vexilon(), lngCurrentDatabaseID_),
                                                               QString::fromStdString(o.strOwnerName),
                                                               QString::fromStdString(o.strObjectName), o.lngID);
          if (MsgBox(prompt, vx::app::vbYesNo + vx::app::vbExclamation) == vx::app::vbYes &&
              ExplorerKinds::Restore(Vexilon(), lngCurrentDatabaseID_, o, true) == ENU_RES_SUCCESSFUL)
            changed = true;
        }
        ++stop.done;
      }
      run->Step(i);
    }
    FinishSelectedRun(*this, *run, kind, checked, changed,
                      {"Errors occured during the restore, however some items were restored. Please view the "
                       "Vexilon log for details.",
                       "Errors occured during the restore and no items were restored. Please view the Vexilon "
                       "log for details.",
                       "Restore completed."});
  } catch (...) {
    if (run && IsConnectionLost()) return RunConnectionLost(*run, stop);
    if (!HandleConnectionLost()) vx::app::ReportError("frmSQLServerExplorer", "RestoreSelected", __LINE__);
  }
}
