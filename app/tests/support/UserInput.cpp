#include "support/UserInput.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QTest>
#include <QTreeWidget>

namespace ui_test {

void ClickHeader(QTreeView* list, int section) {
  QHeaderView* header = list->header();
  const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2, header->height() / 2);
  QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
  QApplication::processEvents();
}

void ClickNode(QTreeWidget* tree, QTreeWidgetItem* node) {
  tree->scrollToItem(node);
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, tree->visualItemRect(node).center());
  QApplication::processEvents();
}

QMenu* RightClickNode(QTreeWidget* tree, QTreeWidgetItem* node) {
  tree->scrollToItem(node);
  const QPoint at = tree->visualItemRect(node).center();
  QTest::mousePress(tree->viewport(), Qt::RightButton, Qt::NoModifier, at);
  QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, at, tree->viewport()->mapToGlobal(at));
  QApplication::sendEvent(tree->viewport(), &menuEvent);
  QTest::mouseRelease(tree->viewport(), Qt::RightButton, Qt::NoModifier, at);
  QApplication::processEvents();
  return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

bool ClickMenuEntry(QMenu* menu, const QString& caption) {
  if (!menu) return false;
  for (QAction* action : menu->actions()) {
    if (action->text() != caption) continue;
    QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(action).center());
    QApplication::processEvents();
    return true;
  }
  return false;
}

QStringList ColumnTexts(const QTreeWidget* list, int column) {
  QStringList out;
  for (int i = 0; i < list->topLevelItemCount(); ++i) out << list->topLevelItem(i)->text(column);
  return out;
}

QList<int> SectionsWithPicture(const QTreeWidget* list) {
  QList<int> out;
  for (int c = 0; c < list->columnCount(); ++c)
    if (!list->headerItem()->icon(c).isNull()) out << c;
  return out;
}

}  // namespace ui_test
