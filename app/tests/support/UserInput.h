#pragma once
// Input as a user gives it: mouse clicks on a list's header and on tree nodes,
// a right click that opens a node's menu and a click on one of its entries, and
// what a list shows afterwards.
#include <QList>
#include <QString>
#include <QStringList>

class QMenu;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;

namespace ui_test {

// A left click in the middle of a header section.
void ClickHeader(QTreeView* list, int section);
// A left click on a node's text (the node is scrolled into view first).
void ClickNode(QTreeWidget* tree, QTreeWidgetItem* node);
// A right click on a node; returns the menu it opened (nullptr when none).
QMenu* RightClickNode(QTreeWidget* tree, QTreeWidgetItem* node);
// A left click on the menu's entry with that caption; false when it has none.
bool ClickMenuEntry(QMenu* menu, const QString& caption);

// The texts of one column, top to bottom.
QStringList ColumnTexts(const QTreeWidget* list, int column);
// The header sections that show a picture.
QList<int> SectionsWithPicture(const QTreeWidget* list);

}  // namespace ui_test
