#include "basUtilities.h"

#include <QApplication>
#include <QDesktopServices>
#include <QHeaderView>
#include <QLineEdit>
#include <QTreeWidget>
#include <QUrl>
#include <QWidget>

#include "basErrorReports.h"
#include "frmApplication.h"

static void InitVexilonResources() { Q_INIT_RESOURCE(vexilon); }

namespace vx::app {

void EnsureResources() {
  static const bool done = (InitVexilonResources(), true);
  (void)done;
}

QString TrimNull(const QString& text) {
  const qsizetype nul = text.indexOf(QChar(0));
  return nul < 0 ? text : text.left(nul);
}

void SortListViewText(QTreeWidget* list, int column, int sortOrder) {
  if (!list) return;
  list->sortItems(column, sortOrder == 1 ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void SetColumnHeaderIcon(QTreeWidget* list, int column, const QString& key) {
  if (!list) return;
  QTreeWidgetItem* header = list->headerItem();
  const QIcon icon = ImageListIcon(QStringLiteral("imlColumnHeaderIcons"), key);
  for (int c = 0; c < list->columnCount(); ++c) header->setIcon(c, c == column ? icon : QIcon());
}

void SelectAllText(QLineEdit* edit) {
  if (edit) edit->selectAll();
}

bool SetAppIcon(QWidget* form) {
  try {
    if (!form || !form->isWindow()) return false;
    QIcon icon = form->windowIcon();
    EnsureResources();
    if (icon.isNull()) icon = QIcon(QStringLiteral(":/vexilon/vexilon.svg"));
    QApplication::setWindowIcon(icon);
    return QApplication::windowIcon().cacheKey() == icon.cacheKey();
  } catch (...) {
    ReportError("basShell", "SetAppIcon");
    return false;
  }
}

bool OpenURL(const QString& address) { return QDesktopServices::openUrl(QUrl(address)); }

QIcon ImageListIcon(const QString& imageList, const QString& key) {
  static const QString kExplorerKeys = QStringLiteral("ESDGUWXCHKB");
  static const QString kHeaderKeys = QStringLiteral("AD");
  EnsureResources();
  if (key.size() != 1) return {};
  if (imageList == QLatin1String("imlSQLServerExplorer") && kExplorerKeys.contains(key))
    return QIcon(QStringLiteral(":/vexilon/explorer/%1.svg").arg(key));
  if (imageList == QLatin1String("imlColumnHeaderIcons") && kHeaderKeys.contains(key))
    return QIcon(QStringLiteral(":/vexilon/headers/%1.svg").arg(key));
  return {};
}

}  // namespace vx::app
