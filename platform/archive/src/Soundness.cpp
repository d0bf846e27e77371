#include "Soundness.h"

#include <sqlcipher/sqlite3.h>
#include <sys/stat.h>

#include <mutex>
#include <vector>

#include "ArchiveErrors.h"
#include "IdleConnection.h"
#include "PageSize.h"
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

// The file a check last passed, as it was then. Exit checks the archive before
// the backup and again before compaction; a file nobody has written since the
// first check is not read through a second time; that spares the one next call.
struct PassedFile {
  std::string path;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = -1;
  struct timespec modified {};
};
std::mutex passedMutex;
PassedFile passed;

// Whether the file alone holds the archive: no write-ahead log with pages in it.
bool NoLog(const std::string& path) {
  struct stat log {};
  return ::stat((path + "-wal").c_str(), &log) != 0 || log.st_size == 0;
}

bool Same(const PassedFile& f, const std::string& path, const struct stat& st) {
  return NoLog(path) && f.path == path && f.device == st.st_dev && f.inode == st.st_ino && f.size == st.st_size &&
         f.modified.tv_sec == st.st_mtim.tv_sec && f.modified.tv_nsec == st.st_mtim.tv_nsec;
}

}  // namespace

void KeepPagesRead(vx::sqlite::Database& db) { db.Exec("PRAGMA cache_size = -524288"); }

void CheckSound(const std::string& path, const std::string& key) {
  struct stat st {};
  const bool known = ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  if (known && st.st_size == 0) RaiseDamaged(path, "the file is empty");
  if (known) {
    std::lock_guard<std::mutex> guard(passedMutex);
    if (Same(passed, path, st)) {
      passed = PassedFile{};  // one later call is spared, no more
      return;
    }
  }
  try {
    {
      // Read only: a connection that may not write never folds a log into the
      // file as it closes, so a damaged file stays exactly as it was found.
      vx::sqlite::Database db(path, vx::sqlite::OpenMode::ReadOnly, key, 250, ArchivePageSize(path, key));
      // The integrity check walks every page, then reads every row again to
      // match it with its indexes, and the rows are read once more below: each
      // page is decrypted once, on its first read, when the cache keeps them all.
      KeepPagesRead(db);
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
    }
    struct stat read {};
    const bool unchanged = known && ::stat(path.c_str(), &read) == 0 && read.st_ino == st.st_ino &&
                           read.st_size == st.st_size && read.st_mtim.tv_sec == st.st_mtim.tv_sec &&
                           read.st_mtim.tv_nsec == st.st_mtim.tv_nsec;
    // A sound file takes in what its write-ahead log holds and the log goes, so
    // that the file alone (what the backup and the compacted copy are made from)
    // holds every committed row. The connection kept idle between calls closes
    // first; the last connection to close removes the log.
    CloseIdleConnection(path);
    {
      vx::sqlite::Database db(path, vx::sqlite::OpenMode::ReadWrite, key, 250, ArchivePageSize(path, key));
      auto fold = db.Prepare("PRAGMA main.wal_checkpoint(TRUNCATE)");
      if (fold.Step() && fold.Int64(0) != 0) RaiseHeld(path);
    }
    if (!NoLog(path)) RaiseHeld(path);
    // Only a file left as it was while it was read counts as checked.
    struct stat after {};
    if (unchanged && ::stat(path.c_str(), &after) == 0) {
      std::lock_guard<std::mutex> guard(passedMutex);
      passed = PassedFile{path, after.st_dev, after.st_ino, after.st_size, after.st_mtim};
    }
  } catch (const vx::sqlite::SqliteError& e) {
    const int code = e.Code() & 0xFF;
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED) RaiseHeld(path);
    RaiseDamaged(path, code == SQLITE_NOTADB ? "it cannot be read as an archive (" + std::string(sqlite3_errstr(code)) + ")"
                                             : std::string(sqlite3_errstr(code)));
  }
}

}  // namespace vx::archive::detail
