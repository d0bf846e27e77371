#pragma once
// Small utilities the windows share: text cut at NUL, list sorting by date or
// number, selecting a text box's text, the window icon and web pages.
#include <QIcon>
#include <QString>

class QLineEdit;
class QTreeWidget;
class QWidget;

namespace vx::app {

// The item data role of a date cell's own value (an OLE date as a double), by
// which SortListView orders that column whatever format the text shows.
inline constexpr int kDateValueRole = Qt::UserRole + 16;

// The text before its first NUL (all of it when there is none).
QString TrimNull(const QString& text);

// Sorts a list by one column (from 0): sort type 0 compares the cells as dates
// ("dd/mm/yyyy hh:nn:ss" and the engine's date texts), 1 as numbers; order 0
// ascending, 1 descending. A date cell with a kDateValueRole value sorts by it.
// A cell that does not convert sorts before the others.
// Always returns false.
bool SortListView(QTreeWidget* list, int column, int sortType, int sortOrder);
// Sorts by the list's own text order (the list control's own sort).
void SortListViewText(QTreeWidget* list, int column, int sortOrder);
// Shows the sort-direction picture "A" or "D" on one header and clears the others.
void SetColumnHeaderIcon(QTreeWidget* list, int column, const QString& key);

// Selects the whole text of a text box.
void SelectAllText(QLineEdit* edit);
// Gives the application the window's icon; true when it took it.
bool SetAppIcon(QWidget* form);
// Opens the address with the desktop's handler; false when none could be started.
bool OpenURL(const QString& address);

// A picture of one of the program's image lists by key ("imlSQLServerExplorer":
// E S D G U W X C H K B; "imlColumnHeaderIcons": A D); empty for another key.
QIcon ImageListIcon(const QString& imageList, const QString& key);
// Registers the program's pictures (once; every window that shows one calls it).
void EnsureResources();

}  // namespace vx::app
