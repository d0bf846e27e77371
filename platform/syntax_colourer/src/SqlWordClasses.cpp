#include "SqlWordClasses.h"

#include <string>
#include <unordered_map>

namespace vx::colour {
namespace {

// The reserved words of T-SQL and the other words of its statements that read
// as keywords. image, sysname and text are coloured here too.
constexpr const char* kKeywords[] = {
    "ADD", "AFTER", "ALL", "ALTER", "AND", "ANY", "AS", "ASC", "AUTHORIZATION", "BACKUP",
    "BEGIN", "BETWEEN", "BREAK", "BROWSE", "BULK", "BY", "CASCADE", "CASE", "CHECK",
    "CHECKPOINT", "CLOSE", "CLUSTERED", "COALESCE", "COLLATE", "COLUMN", "COMMIT", "COMMITTED",
    "COMPUTE", "CONSTRAINT", "CONTAINS", "CONTAINSTABLE", "CONTINUE", "CONVERT", "CREATE",
    "CROSS", "CURRENT", "CURRENT_DATE", "CURRENT_TIME", "CURRENT_TIMESTAMP", "CURRENT_USER",
    "CURSOR", "DATABASE", "DBCC", "DEALLOCATE", "DECLARE", "DEFAULT", "DELETE", "DENY", "DESC",
    "DISK", "DISTINCT", "DISTRIBUTED", "DOUBLE", "DROP", "DUMMY", "DUMP", "ELSE", "ENCRYPTION",
    "END", "ERRLVL", "ESCAPE", "EXCEPT", "EXEC", "EXECUTE", "EXISTS", "EXIT", "FAST_FORWARD",
    "FETCH", "FILE", "FILLFACTOR", "FIRST", "FOR", "FOREIGN", "FORWARD_ONLY", "FREETEXT",
    "FREETEXTTABLE", "FROM", "FULL", "FUNCTION", "GLOBAL", "GO", "GOTO", "GRANT", "GROUP",
    "HAVING", "HOLDLOCK", "IDENTITY", "IDENTITYCOL", "IDENTITY_INSERT", "IF", "IMAGE", "IN",
    "INDEX", "INNER", "INSERT", "INSTEAD", "INTERSECT", "INTO", "IS", "ISOLATION", "JOIN", "KEY",
    "KEYSET", "KILL", "LAST", "LEFT", "LEVEL", "LIKE", "LINENO", "LOAD", "LOCAL", "NATIONAL",
    "NEXT", "NOCHECK", "NOCOUNT", "NOLOCK", "NONCLUSTERED", "NOT", "NULL", "NULLIF", "OF", "OFF",
    "OFFSETS", "ON", "OPEN", "OPENDATASOURCE", "OPENQUERY", "OPENROWSET", "OPENXML", "OPTION",
    "OR", "ORDER", "OUT", "OUTER", "OUTPUT", "OVER", "PERCENT", "PLAN", "PRECISION", "PRIMARY",
    "PRINT", "PRIOR", "PROC", "PROCEDURE", "PUBLIC", "RAISERROR", "READ", "READTEXT",
    "READ_ONLY", "RECOMPILE", "RECONFIGURE", "REFERENCES", "REPEATABLE", "REPLICATION",
    "RESTORE", "RESTRICT", "RETURN", "RETURNS", "REVOKE", "RIGHT", "ROLLBACK", "ROWCOUNT",
    "ROWGUIDCOL", "ROWLOCK", "RULE", "SAVE", "SCHEMA", "SCROLL", "SELECT", "SERIALIZABLE",
    "SESSION_USER", "SET", "SETUSER", "SHUTDOWN", "SOME", "STATIC", "STATISTICS", "SYSNAME",
    "SYSTEM_USER", "TABLE", "TABLOCK", "TABLOCKX", "TEXT", "TEXTSIZE", "THEN", "TO", "TOP",
    "TRAN", "TRANSACTION", "TRIGGER", "TRUNCATE", "TSEQUAL", "UNCOMMITTED", "UNION", "UNIQUE",
    "UPDATE", "UPDATETEXT", "UPDLOCK", "USE", "USER", "VALUES", "VARYING", "VIEW", "WAITFOR",
    "WHEN", "WHERE", "WHILE", "WITH", "WRITETEXT", "XLOCK",
};

// Data types other than the five that stay with the names (bigint, ntext,
// nvarchar, sql_variant, uniqueidentifier), the three keywords above and datetime.
constexpr const char* kDataTypes[] = {
    "BINARY", "BIT", "CHAR", "CHARACTER", "DEC", "DECIMAL", "FLOAT", "INT", "INTEGER", "MONEY",
    "NCHAR", "NUMERIC", "REAL", "SMALLDATETIME", "SMALLINT", "SMALLMONEY", "TIMESTAMP",
    "TINYINT", "VARBINARY", "VARCHAR",
};

const std::unordered_map<std::string, int>& Table() {
  static const std::unordered_map<std::string, int> table = [] {
    std::unordered_map<std::string, int> t;
    for (const char* w : kKeywords) t.emplace(w, 1);
    for (const char* w : kDataTypes) t.emplace(w, 2);
    t.emplace("DATETIME", 3);
    return t;
  }();
  return table;
}

}  // namespace

int WordClass(std::string_view word) {
  // No word of the tables is longer than this; longer words are names.
  constexpr std::size_t kLongest = 24;
  if (word.size() > kLongest) return 10;
  std::string upper(word);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  const auto& table = Table();
  auto it = table.find(upper);
  return it == table.end() ? 10 : it->second;
}

}  // namespace vx::colour
