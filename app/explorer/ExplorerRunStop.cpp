// An encrypt or restore run whose server connection went away part-way. What
// was done is done (every object encrypted with archiving has its copy), so the
// window has to say where the run stopped and show what the server now holds.
#include <QTreeWidget>

#include "automation/OleDate.h"
#include "basMessages.h"
#include "basScreen.h"
#include "explorer/ExplorerBatchRun.h"
#include "explorer/ExplorerFolderKind.h"
#include "explorer/frmSQLServerExplorer.h"
#include "vexilon_lib/CVexilon.h"

QString frmSQLServerExplorer::CurrentDatabaseName() const {
  const QString rest = QString::number(lngCurrentDatabaseID_) + QStringLiteral(":S") +
                       QString::fromStdString(loginCredentials_.strSQLServerName);
  QTreeWidgetItem* node = NodeByKey(QStringLiteral("D") + rest);
  if (!node) node = NodeByKey(QStringLiteral("J") + rest);
  return node ? node->text(0) : QString();
}

void frmSQLServerExplorer::RunConnectionLost(ExplorerBatchRun& run, const RunStop& stop) {
  const QString server = QString::fromStdString(loginCredentials_.strSQLServerName);
  const QString counts = QStringLiteral("%1 of %2 objects").arg(stop.done).arg(stop.total);

  // The archive is local: the stop is logged while the server is away.
  const UDT_OBJECT& o = stop.current;
  const ENU_OBJECT_TYPES type = o.enumObjectType ? o.enumObjectType : stop.folderKind;
  try {
    if (type >= ENU_OBT_STORED_PROCEDURE && type <= ENU_OBT_VIEW)
      Vexilon().AddLogItem(vx::OleNow(), loginCredentials_.strSQLServerName, CurrentDatabaseName().toStdString(),
                           o.strOwnerName, type, o.strObjectName,
                           (stop.encrypt ? "Encryption error: " : "Restore error: ") +
                               ("the connection to the server was lost; the run stopped after " + counts).toStdString(),
                           "", type == ENU_OBT_TRIGGER ? o.strTableName : std::string());
  } catch (...) {
    // The message below still tells the user.
  }

  run.End(QString(), false);
  // The lists no longer tell the truth: they go. Then the server as it stands:
  // connected again, the folder's lists show what it holds; gone, its node is
  // marked failed (the two messages say so) and the lists stay empty.
  if (stop.folderKind) {
    ClearLists();
    HideStatus();
  }
  // What happened is said first; the reconnect's own messages follow it.
  vx::app::MsgBox((stop.encrypt ? QStringLiteral("Encryption") : QStringLiteral("The restore")) +
                      QStringLiteral(" stopped after ") + counts + QStringLiteral(" because the connection to SQL Server '") +
                      server + QStringLiteral("' was lost."),
                  vx::app::vbExclamation);
  const bool back = ConnectServerDatabase(loginCredentials_, lngCurrentDatabaseID_) == ENU_SCR_SUCCESSFUL;
  if (stop.folderKind && back) {
    enumCurrentObjectType_ = stop.folderKind;
    RefillLists(stop.folderKind, lngCurrentDatabaseID_);
  }
  vx::app::DoEvents();
}
