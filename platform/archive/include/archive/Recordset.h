#pragma once
// A disconnected, read-only, forward-only row set: every row is fetched when
// it is opened, so the row count is exact and it outlives its connection.
#include <cstdint>
#include <string>
#include <vector>

#include "archive/Value.h"

namespace vx::archive {

class Recordset {
 public:
  Recordset() = default;  // closed, no rows
  Recordset(std::vector<std::string> columns, std::vector<std::vector<Value>> rows);

  bool IsOpen() const { return open_; }
  bool IsEOF() const;  // true after the last row (or with no rows)
  int32_t RecordCount() const;
  void MoveNext();
  // Field of the current row by column name (case-insensitive).
  const Value& Field(std::string_view name) const;
  void Close();

  const std::vector<std::string>& Columns() const { return columns_; }

 private:
  void RequireOpen() const;
  std::vector<std::string> columns_;
  std::vector<std::vector<Value>> rows_;
  size_t position_ = 0;
  bool open_ = false;
};

}  // namespace vx::archive
