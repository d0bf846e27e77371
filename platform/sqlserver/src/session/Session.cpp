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
  return column < sqlTypes.size() ? sqlTypes[column] : unknown;
}

void ResultSet::SetSqlType(size_t column, std::string type) {
  if (sqlTypes.size() < columns.size()) sqlTypes.resize(columns.size());
  if (column < sqlTypes.size()) sqlTypes[column] = std::move(type);
}

const ServerMessage* BatchResult::FirstError() const {
  for (const auto& m : messages)
    if (m.IsError()) return &m;
  return nullptr;
}

void RaiseFirstError(const BatchResult& result, const std::string& source) {
  if (const ServerMessage* e = result.FirstError())
    throw ComError(err::ServerMessage(e->number), source, "[Microsoft][ODBC SQL Server Driver][SQL Server]" + e->text);
}

}  // namespace vx::sqlserver
