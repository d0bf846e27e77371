// Sorting a list by a date or number column: the cells are read as values,
// not compared as text.
#include <algorithm>
#include <optional>
#include <vector>

#include <QLocale>
#include <QRegularExpression>
#include <QTreeWidget>

#include "automation/DateText.h"
#include "basUtilities.h"

namespace vx::app {
namespace {

// "dd/mm/yyyy hh:nn:ss" (the lists' own form), else the engine's date text.
std::optional<double> DateValue(const QString& text) {
  static const QRegularExpression shown(
      QStringLiteral("^\\s*(\\d{1,2})/(\\d{1,2})/(\\d{4})(?:\\s+(\\d{1,2}):(\\d{2})(?::(\\d{2}))?)?\\s*$"));
  const auto m = shown.match(text);
  vx::OleDate date = 0;
  if (m.hasMatch()) {
    vx::DateParts parts{m.captured(3).toInt(), m.captured(2).toInt(), m.captured(1).toInt(),
                        m.captured(4).toInt(),  m.captured(5).toInt(), m.captured(6).toInt()};
    if (vx::DatePartsToOle(parts, date)) return date;
    return std::nullopt;
  }
  if (vx::TextToDate(text.toStdString(), date)) return date;
  return std::nullopt;
}

std::optional<double> NumberValue(const QString& text) {
  bool ok = false;
  double value = QLocale().toDouble(text.trimmed(), &ok);
  if (!ok) value = QLocale::c().toDouble(text.trimmed(), &ok);
  return ok ? std::optional<double>(value) : std::nullopt;
}

}  // namespace

bool SortListView(QTreeWidget* list, int column, int sortType, int sortOrder) {
  if (!list || (sortType != 0 && sortType != 1)) return false;
  // The list's own sorting stays off (switching it off would also make the
  // headers deaf to clicks): the rows are put in order here.
  struct Row {
    std::optional<double> value;
    QTreeWidgetItem* item;
  };
  std::vector<Row> rows;
  QTreeWidgetItem* current = list->currentItem();
  const auto selected = list->selectedItems();
  while (list->topLevelItemCount() > 0) {
    QTreeWidgetItem* item = list->takeTopLevelItem(0);
    // A date cell that carries the value it was made from sorts by that value,
    // whatever the format its text is shown in.
    const QVariant held = sortType == 0 ? item->data(column, kDateValueRole) : QVariant();
    if (held.isValid()) {
      rows.push_back({held.toDouble(), item});
    } else {
      const QString text = item->text(column);
      rows.push_back({sortType == 0 ? DateValue(text) : NumberValue(text), item});
    }
  }
  // A cell that does not convert comes before every value; equal values keep their order.
  auto less = [](const Row& a, const Row& b) {
    if (!a.value || !b.value) return !a.value && b.value;
    return *a.value < *b.value;
  };
  if (sortOrder == 1)
    std::stable_sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) { return less(b, a); });
  else
    std::stable_sort(rows.begin(), rows.end(), less);
  for (const Row& r : rows) list->addTopLevelItem(r.item);
  for (QTreeWidgetItem* item : selected) item->setSelected(true);
  if (current) list->setCurrentItem(current, 0, QItemSelectionModel::NoUpdate);
  return false;
}

}  // namespace vx::app
