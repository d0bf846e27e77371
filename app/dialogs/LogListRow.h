#pragma once
// A row of the log list. It keeps its record's fields once and answers the
// list from them, instead of a copy of every cell for each role the list asks
// for: a log of a hundred thousand items fits in a third of the memory. Equal
// texts (the server, database, owner and message of many rows) share one copy.
#include <string>
#include <unordered_map>

#include <QIcon>
#include <QString>
#include <QTreeWidgetItem>

#include "archive/Recordset.h"

namespace vx::app {

// The texts a fill has made so far, so that equal fields share one copy.
class LogTextPool {
 public:
  // The field as text (Null gives the empty text), the copy made before if equal.
  QString Field(const vx::archive::Recordset& rs, const char* name);

 private:
  std::unordered_map<std::string, QString> texts_;
};

class LogListRow : public QTreeWidgetItem {
 public:
  // The current record of the log's recordset, of a known object type.
  LogListRow(const vx::archive::Recordset& rs, int objectType, const QIcon& picture, LogTextPool& texts);

  // Column 0: the date and time in the system's format, the row's picture, its
  // key ("L" and the LogID) and its date value (kDateValueRole); columns 1 to
  // 5: SQL Server, Database, Owner, Object Name, Message. A value set on the
  // row afterwards takes the place of the record's.
  QVariant data(int column, int role) const override;

 private:
  QVariant Cell(int column, int role) const;

  QString cells_[5];
  QString dateText_;  // a date not held as a date value is shown as its text
  QIcon picture_;
  double date_ = 0;
  int logId_ = 0;
  bool dateIsValue_ = false;  // shown in the system's format when asked
  bool hasDate_ = false;      // date_ holds the value the row sorts by
};

}  // namespace vx::app
