#include "sqlserver/Session.h"

#include <cctype>

#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"

namespace vx::sqlserver {

namespace {
bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}
}  // namespace

int ResultSet::ColumnIndex(std::string_view name) const {
  for (size_t i = 0; i < columns.size(); ++i)
    if (EqualsNoCase(columns[i].name, name)) return static_cast<int>(i);
  return -1;
}

const std::string& ResultSet::SqlType(size_t column) const {
  static const std::string unknown;
  return column < columns.size() ? columns[column].sqlType : unknown;
}

void ResultSet::SetSqlType(size_t column, std::string type) {
  if (column < columns.size()) columns[column].sqlType = std::move(type);
}

const ServerMessage* BatchResult::FirstError() const {
  for (const auto& m : messages)
    if (m.IsError()) return &m;
  return nullptr;
}

namespace {
class VectorCursor : public RowCursor {
 public:
  explicit VectorCursor(const std::vector<std::vector<Value>>& rows) : rows_(rows) {}
  bool Next(std::vector<Value>& row) override {
    if (at_ >= rows_.size()) return false;
    row = rows_[at_++];
    return true;
  }
  void Rewind() override { at_ = 0; }

 private:
  const std::vector<std::vector<Value>>& rows_;
  size_t at_ = 0;
};
}  // namespace

void Session::Run(std::string_view batch, const std::vector<Parameter>& parameters, ResultSink& sink) {
  if (!parameters.empty()) {
    ServerMessage m;
    m.number = 50000;
    m.severity = 16;
    m.text = "This server takes no parameters for a batch.";
    sink.Message(m);
    return;
  }
  const BatchResult result = Execute(batch);
  for (const auto& rs : result.resultSets) {
    VectorCursor rows(rs.rows);
    sink.ResultSet(rs.columns, rows);
  }
  for (const auto& m : result.messages) sink.Message(m);
}

void RaiseFirstError(const BatchResult& result, const std::string& source) {
  if (const ServerMessage* e = result.FirstError())
    throw ComError(err::ServerMessage(e->number), source, "[Microsoft][ODBC SQL Server Driver][SQL Server]" + e->text);
}

}  // namespace vx::sqlserver
