#pragma once
// What the two log windows show of a log record.
#include <QString>
#include <QVariant>

class QFontMetrics;

#include "archive/Recordset.h"

namespace vx::app {

// A field as text; Null gives the empty text.
QString LogField(const vx::archive::Recordset& rs, const char* name);
// The date and time of a log record in the system's date and time format.
QString LogDateTime(const vx::archive::Recordset& rs);
// The date and time of a log record as its value (an OLE date as a double), for
// sorting; invalid when the field is Null or no date.
QVariant LogDateValue(const vx::archive::Recordset& rs);
// The width, in a font, of the widest text a date and time takes in the system's
// format (for a column that shows them whole).
int WidestDateTimeWidth(const QFontMetrics& metrics);
// The object name cell: a trigger shows its table, ":" and its name.
QString LogObjectName(const vx::archive::Recordset& rs, int objectType);
// The object type as a number; 0 for a Null or unreadable field.
int LogObjectType(const vx::archive::Recordset& rs);
// "Stored Procedure", "Trigger", "User Defined Function", "View"; "" for others.
QString LogObjectTypeName(int objectType);
// The picture key of a known kind ("X", "G", "U", "W"); "" for others.
QString LogImageKey(int objectType);

}  // namespace vx::app
