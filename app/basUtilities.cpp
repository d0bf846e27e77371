// Placeholder until the utilities are built.
#include "basUtilities.h"

namespace vx::app {
QString TrimNull(const QString& text) { return text.left(text.indexOf(QChar(0)) < 0 ? text.size() : text.indexOf(QChar(0))); }
bool SortListView(QTreeWidget*, int, int, int) { return false; }
void SortListViewText(QTreeWidget*, int, int) {}
void SetColumnHeaderIcon(QTreeWidget*, int, const QString&) {}
void SelectAllText(QLineEdit*) {}
bool SetAppIcon(QWidget*) { return false; }
bool OpenURL(const QString&) { return false; }
}  // namespace vx::app
