#include "Soundness.h"

#include <sqlcipher/sqlite3.h>
#include <sys/stat.h>

#include <vector>

#include "ArchiveErrors.h"
#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"
#include "sqlite/Database.h"

namespace vx::archive::detail {
namespace {

[[noreturn]] void RaiseDamaged(const std::string& path, const std::string& cause) {
  throw ComError(err::kArchiveNotADatabase, "Archive", "The archive database '" + path + "' is damaged: " + cause + ".");
}

// The first problem the integrity check names, without its "*** in database" line.
std::string FirstProblem(const std::string& result) {
  std::string problem;
  std::size_t at = 0;
  while (at <= result.size() && problem.empty()) {
    std::size_t end = result.find('\n', at);
    if (end == std::string::npos) end = result.size();
    const std::string line = result.substr(at, end - at);
    if (!line.empty() && line.rfind("***", 0) != 0) problem = line;
    at = end + 1;
  }
  return problem.empty() ? result : problem;
}

// Reads every column of every row, so that every page of the table is decrypted.
void ReadRows(vx::sqlite::Database& db, const std::string& path, const std::string& table) {
  sqlite3_stmt* st = nullptr;
  const std::string sql = "SELECT * FROM main.\"" + table + "\"";
  int rc = sqlite3_prepare_v2(db.Handle(), sql.c_str(), static_cast<int>(sql.size()), &st, nullptr);
  if (rc == SQLITE_OK) {
    const int columns = sqlite3_column_count(st);
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
      for (int c = 0; c < columns; ++c) {
        sqlite3_column_blob(st, c);
        sqlite3_column_bytes(st, c);
      }
    }
  }
  const std::string message = sqlite3_errmsg(db.Handle());
  sqlite3_finalize(st);
  if ((rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED) RaiseHeld(path);
  if (rc != SQLITE_DONE) RaiseDamaged(path, "the rows of its table " + table + " cannot be read (" + message + ")");
}

}  // namespace

void CheckSound(const std::string& path, const std::string& key) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0) RaiseDamaged(path, "the file is empty");
  try {
    vx::sqlite::Database db(path, vx::sqlite::OpenMode::ReadWrite, key, 250);
    std::vector<std::string> tables;
    {
      auto s = db.Prepare("SELECT name FROM main.sqlite_master WHERE type = 'table' ORDER BY name");
      while (s.Step()) tables.push_back(s.Text(0));
    }
    bool storedQueries = false;
    for (const auto& t : tables) storedQueries |= t == "StoredQueries";
    if (!storedQueries) RaiseDamaged(path, "it holds no Vexilon archive");
    {
      auto ic = db.Prepare("PRAGMA integrity_check(1)");
      const std::string result = ic.Step() ? ic.Text(0) : std::string("no answer");
      if (result != "ok") RaiseDamaged(path, "its integrity check failed (" + FirstProblem(result) + ")");
    }
    for (const auto& t : tables) ReadRows(db, path, t);
  } catch (const vx::sqlite::SqliteError& e) {
    const int code = e.Code() & 0xFF;
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED) RaiseHeld(path);
    RaiseDamaged(path, code == SQLITE_NOTADB ? "it cannot be read as an archive (" + std::string(sqlite3_errstr(code)) + ")"
                                             : std::string(sqlite3_errstr(code)));
  }
}

}  // namespace vx::archive::detail
