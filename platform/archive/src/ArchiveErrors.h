#pragma once
// SQLite failures raised as the archive's own errors.
#include <string>

#include "sqlite/Database.h"

namespace vx::archive::detail {

// Raises the ComError for an SQLite result code: a busy or locked file is
// 0x80004005, a corrupt or wrongly keyed file kArchiveNotADatabase, a missing
// file kArchiveFileNotFound, anything else kArchiveQuery.
[[noreturn]] void RaiseCode(int code, const std::string& message, const std::string& context);
[[noreturn]] void RaiseMapped(const vx::sqlite::SqliteError& e, const std::string& context);
// Raises 0x80004005 for an archive file that another process holds open.
[[noreturn]] void RaiseHeld(const std::string& path);

}  // namespace vx::archive::detail
