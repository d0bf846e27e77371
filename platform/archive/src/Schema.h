#pragma once
// The archive database's schema and its stored queries, kept inside
// the file as rows of StoredQueries.
#include <string>
#include <vector>

namespace vx::sqlite {
class Database;
}

namespace vx::archive::detail {

struct StoredQueryDefinition {
  const char* name;
  const char* parameters;  // "@Name type size" items separated by ';' (size 0 = no limit)
  bool returnsRows;
  const char* body;
};

const std::vector<StoredQueryDefinition>& StoredQueries();

// Creates the tables, the cascade trigger and the stored queries in an empty database.
void WriteSchema(vx::sqlite::Database& db);
// Brings a file written by an earlier format up to date: its stored queries and
// the index of the object lists (built once and checked).
void UpgradeSchema(vx::sqlite::Database& db);

}  // namespace vx::archive::detail
