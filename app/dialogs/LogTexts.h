#pragma once
// What the two log windows show of a log record.
#include <QString>

#include "archive/Recordset.h"

namespace vx::app {

// A field as text; Null gives the empty text.
QString LogField(const vx::archive::Recordset& rs, const char* name);
// The date and time of a log record in the system's date and time format.
QString LogDateTime(const vx::archive::Recordset& rs);
// The object name cell: a trigger shows its table, ":" and its name.
QString LogObjectName(const vx::archive::Recordset& rs, int objectType);
// The object type as a number; 0 for a Null or unreadable field.
int LogObjectType(const vx::archive::Recordset& rs);
// "Stored Procedure", "Trigger", "User Defined Function", "View"; "" for others.
QString LogObjectTypeName(int objectType);
// The picture key of a known kind ("X", "G", "U", "W"); "" for others.
QString LogImageKey(int objectType);

}  // namespace vx::app
