#include "dialogs/LogTexts.h"

#include <algorithm>

#include <QFontMetrics>

#include "automation/DateText.h"

namespace vx::app {

QString LogField(const vx::archive::Recordset& rs, const char* name) {
  const auto& v = rs.Field(name);
  return v.IsNull() ? QString() : QString::fromStdString(v.ToText());
}

QString LogDateTime(const vx::archive::Recordset& rs) {
  const auto& v = rs.Field("DateTime");
  if (v.IsNull()) return QString();
  if (v.GetKind() == vx::archive::Value::Kind::Date) return QString::fromStdString(vx::DateToText(v.ToDate()));
  return QString::fromStdString(v.ToText());
}

QVariant LogDateValue(const vx::archive::Recordset& rs) {
  const auto& v = rs.Field("DateTime");
  if (v.IsNull()) return {};
  if (v.GetKind() == vx::archive::Value::Kind::Date) return v.ToDate();
  vx::OleDate date = 0;
  if (vx::TextToDate(v.ToText(), date)) return date;
  return {};
}

int WidestDateTimeWidth(const QFontMetrics& metrics) {
  // Two-digit days, every month (names differ in length) and both halves of the day.
  int widest = 0;
  for (int month = 1; month <= 12; ++month)
    for (int hour : {10, 22}) {
      vx::OleDate date = 0;
      vx::DatePartsToOle(vx::DateParts{2000, month, 28, hour, 58, 58}, date);
      widest = std::max(widest, metrics.horizontalAdvance(QString::fromStdString(vx::DateToText(date))));
    }
  return widest;
}

int LogObjectType(const vx::archive::Recordset& rs) {
  const auto& v = rs.Field("ObjectType");
  if (v.IsNull()) return 0;
  try {
    return v.ToLong();
  } catch (...) {
    return 0;
  }
}

QString LogObjectName(const vx::archive::Recordset& rs, int objectType) {
  if (objectType == 2) return LogField(rs, "TableName") + QLatin1Char(':') + LogField(rs, "ObjectName");
  return LogField(rs, "ObjectName");
}

QString LogObjectTypeName(int objectType) {
  switch (objectType) {
    case 1: return QStringLiteral("Stored Procedure");
    case 2: return QStringLiteral("Trigger");
    case 3: return QStringLiteral("User Defined Function");
    case 4: return QStringLiteral("View");
    default: return QString();
  }
}

QString LogImageKey(int objectType) {
  switch (objectType) {
    case 1: return QStringLiteral("X");
    case 2: return QStringLiteral("G");
    case 3: return QStringLiteral("U");
    case 4: return QStringLiteral("W");
    default: return QString();
  }
}

}  // namespace vx::app
