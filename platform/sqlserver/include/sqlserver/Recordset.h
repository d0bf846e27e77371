#pragma once
// A disconnected, read-only row set (the role of an ADO client-side, forward-only
// recordset): every row is read when the query runs; the connection may close after.
#include <cstdint>
#include <string>
#include <string_view>

#include "sqlserver/Session.h"
#include "sqlserver/Value.h"

namespace vx::sqlserver {

class Recordset {
 public:
  Recordset() = default;
  explicit Recordset(ResultSet rows);

  // True when there is no current row (empty set, or moved past the last row).
  // Raises err::kRecordsetClosed after Close.
  bool IsEOF() const;
  // Next row. Raises err::kRecordsetEof when already at EOF.
  void MoveNext();
  void MoveFirst();
  // The current row's value of the column of that name (case-insensitive).
  // Raises err::kRecordsetNoField for an unknown name, err::kRecordsetEof at EOF.
  const Value& Field(std::string_view name) const;
  // Exact number of rows.
  int32_t RecordCount() const;
  int32_t FieldCount() const;
  const std::string& FieldName(int32_t index) const;
  void Close();
  bool IsOpen() const { return open_; }

 private:
  void CheckOpen() const;
  ResultSet rows_;
  size_t position_ = 0;
  bool open_ = false;
};

}  // namespace vx::sqlserver
