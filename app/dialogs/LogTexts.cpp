#include "dialogs/LogTexts.h"

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
