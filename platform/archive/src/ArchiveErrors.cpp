#include "ArchiveErrors.h"

#include <sqlcipher/sqlite3.h>

#include "automation/ErrorNumbers.h"

namespace vx::archive::detail {

void RaiseCode(int code, const std::string& message, const std::string& context) {
  int32_t number = err::kArchiveQuery;
  switch (code & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED: number = err::kUnspecified; break;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT: number = err::kArchiveNotADatabase; break;
    case SQLITE_CANTOPEN: number = err::kArchiveFileNotFound; break;
    default: break;
  }
  throw ComError(number, "Archive", context + ": " + message);
}

void RaiseHeld(const std::string& path) {
  throw ComError(err::kUnspecified, "Archive",
                 "The Vexilon archive database is already open: '" + path +
                     "' is already in use by another process.");
}

void RaiseMapped(const vx::sqlite::SqliteError& e, const std::string& context) {
  RaiseCode(e.Code(), e.Description(), context);
}

}  // namespace vx::archive::detail
