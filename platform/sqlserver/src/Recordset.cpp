#include "sqlserver/Recordset.h"

#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"

namespace vx::sqlserver {

namespace {
constexpr const char* kSource = "ADODB.Recordset";
}

Recordset::Recordset(ResultSet rows) : rows_(std::move(rows)), open_(true) {}

void Recordset::CheckOpen() const {
  if (!open_) throw ComError(err::kRecordsetClosed, kSource, "Operation is not allowed when the object is closed.");
}

bool Recordset::IsEOF() const {
  CheckOpen();
  return position_ >= rows_.rows.size();
}

void Recordset::MoveNext() {
  if (IsEOF())
    throw ComError(err::kRecordsetEof, kSource,
                   "Either BOF or EOF is True, or the current record has been deleted. Requested operation requires "
                   "a current record.");
  ++position_;
}

void Recordset::MoveFirst() {
  CheckOpen();
  position_ = 0;
}

const Value& Recordset::Field(std::string_view name) const {
  CheckOpen();
  int index = rows_.ColumnIndex(name);
  if (index < 0)
    throw ComError(err::kRecordsetNoField, kSource,
                   "Item cannot be found in the collection corresponding to the requested name or ordinal.");
  if (IsEOF())
    throw ComError(err::kRecordsetEof, kSource,
                   "Either BOF or EOF is True, or the current record has been deleted. Requested operation requires "
                   "a current record.");
  return rows_.rows[position_][static_cast<size_t>(index)];
}

int32_t Recordset::RecordCount() const {
  CheckOpen();
  return static_cast<int32_t>(rows_.rows.size());
}

int32_t Recordset::FieldCount() const {
  CheckOpen();
  return static_cast<int32_t>(rows_.columns.size());
}

const std::string& Recordset::FieldName(int32_t index) const {
  CheckOpen();
  if (index < 0 || static_cast<size_t>(index) >= rows_.columns.size())
    throw ComError(err::kRecordsetNoField, kSource,
                   "Item cannot be found in the collection corresponding to the requested name or ordinal.");
  return rows_.columns[static_cast<size_t>(index)].name;
}

void Recordset::Close() {
  CheckOpen();
  open_ = false;
  rows_ = {};
}

}  // namespace vx::sqlserver
