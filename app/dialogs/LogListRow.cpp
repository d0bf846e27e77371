#include "dialogs/LogListRow.h"

#include "automation/DateText.h"
#include "basUtilities.h"
#include "dialogs/LogTexts.h"

namespace vx::app {

QString LogTextPool::Field(const vx::archive::Recordset& rs, const char* name) {
  const auto& v = rs.Field(name);
  if (v.IsNull()) return QString();
  std::string text = v.ToText();
  auto found = texts_.find(text);
  if (found != texts_.end()) return found->second;
  QString shown = QString::fromStdString(text);
  texts_.emplace(std::move(text), shown);
  return shown;
}

LogListRow::LogListRow(const vx::archive::Recordset& rs, int objectType, const QIcon& picture, LogTextPool& texts)
    : QTreeWidgetItem(QTreeWidgetItem::UserType), picture_(picture) {
  logId_ = rs.Field("LogID").ToLong();
  const auto& when = rs.Field("DateTime");
  if (when.GetKind() == vx::archive::Value::Kind::Date) {
    dateIsValue_ = hasDate_ = true;
    date_ = when.ToDate();
  } else {
    dateText_ = LogDateTime(rs);
    const QVariant value = LogDateValue(rs);
    hasDate_ = value.isValid();
    if (hasDate_) date_ = value.toDouble();
  }
  cells_[0] = texts.Field(rs, "SQLServerName");
  cells_[1] = texts.Field(rs, "DatabaseName");
  cells_[2] = texts.Field(rs, "OwnerName");
  cells_[3] = LogObjectName(rs, objectType);
  cells_[4] = texts.Field(rs, "Message");
}

QVariant LogListRow::data(int column, int role) const {
  QVariant set = QTreeWidgetItem::data(column, role);
  return set.isValid() ? set : Cell(column, role);
}

QVariant LogListRow::Cell(int column, int role) const {
  if (role == Qt::DisplayRole || role == Qt::EditRole) {
    if (column >= 1 && column <= 5) return cells_[column - 1];
    if (column != 0) return {};
    return dateIsValue_ ? QString::fromStdString(vx::DateToText(date_)) : dateText_;
  }
  if (column != 0) return {};
  switch (role) {
    case Qt::DecorationRole: return picture_;
    case Qt::UserRole: return QStringLiteral("L%1").arg(logId_);
    case kDateValueRole: return hasDate_ ? QVariant(date_) : QVariant();
    default: return {};
  }
}

}  // namespace vx::app
