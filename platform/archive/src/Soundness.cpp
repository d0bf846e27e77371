#include "Soundness.h"

#include "ArchiveDescriptor.h"

#include <sqlcipher/sqlite3.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "ArchiveErrors.h"
#include "IdleConnection.h"
#include "PageSize.h"
#include "WriteAheadLog.h"
#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"
#include "sqlite/Database.h"

namespace vx::archive::detail {
namespace {

// The check tells a damaged archive (it opens with the key, and SQLite's
// integrity check or the reading of its rows fails) from every other reason it
// cannot be used: only a damaged one may be given up for its backup.
[[noreturn]] void RaiseDamaged(const std::string& path, const std::string& cause) {
  throw ComError(err::kArchiveNotADatabase, "Archive", "The archive database '" + path + "' is damaged: " + cause + ".");
}

[[noreturn]] void RaiseNotAnArchive(const std::string& path, const std::string& cause) {
  throw ComError(err::kArchiveNotAnArchive, "Archive", "The file '" + path + "' is not a Vexilon archive: " + cause + ".");
}

// A log beside the archive that holds committed rows it cannot give back, or
// that is not the archive's own: reading it into the file, or removing it,
// would lose those rows without a word.
[[noreturn]] void RaiseLogUnreadable(const std::string& path, const std::string& cause) {
  throw ComError(err::kArchiveLogUnreadable, "Archive",
                 "The log '" + path + "-wal' of the archive database '" + path + "' cannot be read: " + cause +
                     ". Rows committed to it may be in it alone, so the archive database and its log are left as "
                     "they were.");
}

[[noreturn]] void RaiseCannotOpen(const std::string& path, const std::string& cause) {
  throw ComError(err::kPermissionDenied, "Archive", "The archive database '" + path + "' cannot be opened: " + cause + ".");
}

// A failure of the file system or of the machine, by SQLite's code: "what" says
// what could not be done, the number and the words say why.
[[noreturn]] void RaiseUnusable(const std::string& what, int code, const std::string& tail = "") {
  switch (code & 0xFF) {
    case SQLITE_FULL: throw ComError(err::kDiskFull, "Archive", what + ": the disk is full." + tail);
    case SQLITE_IOERR: throw ComError(err::kDeviceIO, "Archive", what + ": the disk reported an input/output error." + tail);
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      throw ComError(err::kPermissionDenied, "Archive", what + ": " + sqlite3_errstr(code) + "." + tail);
    default: throw ComError(err::kArchiveQuery, "Archive", what + ": " + sqlite3_errstr(code) + "." + tail);
  }
}

bool Busy(int code) { return (code & 0xFF) == SQLITE_BUSY || (code & 0xFF) == SQLITE_LOCKED; }

// The files SQLite keeps beside the archive must be files it may read and write.
void CheckCompanions(const std::string& path) {
  const std::string folder = path.substr(0, path.find_last_of('/') + 1);
  if (::access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) != 0)
    RaiseCannotOpen(path, "its folder '" + folder + "' cannot be written (" + std::strerror(errno) + ")");
  for (const char* suffix : {"-wal", "-shm", "-journal"}) {
    const std::string companion = path + suffix;
    struct stat st {};
    if (::lstat(companion.c_str(), &st) != 0) continue;
    if (!S_ISREG(st.st_mode)) RaiseCannotOpen(path, "'" + companion + "' beside it is not a file");
    if (::access(companion.c_str(), R_OK | W_OK) != 0)
      RaiseCannotOpen(path, "'" + companion + "' beside it cannot be read and written (" + std::strerror(errno) + ")");
  }
}

bool NonEmpty(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && st.st_size > 0;
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

// The table's columns, in order.
std::vector<std::string> Columns(vx::sqlite::Database& db, const std::string& table) {
  std::vector<std::string> names;
  auto s = db.Prepare("PRAGMA main.table_info(" + vx::sqlite::QuoteName(table) + ")");
  while (s.Step()) names.push_back(s.Text(1));
  return names;
}

// Reads every row of the table, every column's type and size: SQLite parses
// each record and refuses one whose columns do not fit it. The bytes of a long
// text lie in the overflow pages the integrity check has already decrypted,
// authenticated and followed link by link, so they are not read a second time.
void ReadRows(vx::sqlite::Database& db, const std::string& path, const std::string& table) {
  std::string sql = "SELECT ";
  const std::vector<std::string> columns = Columns(db, table);
  for (std::size_t c = 0; c < columns.size(); ++c)
    sql += (c ? ", typeof(" : "typeof(") + vx::sqlite::QuoteName(columns[c]) + ")";
  sql += " FROM main." + vx::sqlite::QuoteName(table);
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(db.Handle(), sql.c_str(), static_cast<int>(sql.size()), &st, nullptr);
  if (rc == SQLITE_OK) {
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    }
  }
  const std::string message = sqlite3_errmsg(db.Handle());
  sqlite3_finalize(st);
  if (Busy(rc)) RaiseHeld(path);
  const int code = rc & 0xFF;
  if (code == SQLITE_CORRUPT || code == SQLITE_NOTADB)
    RaiseDamaged(path, "the rows of its table " + table + " cannot be read (" + message + ")");
  if (rc != SQLITE_DONE) RaiseUnusable("The rows of the archive database '" + path + "' cannot be read", rc);
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

// Opens the file read only, mapping what SQLite raises while it opens.
std::unique_ptr<vx::sqlite::Database> OpenToJudge(const std::string& path, const std::string& key,
                                                  vx::sqlite::OpenMode mode, int pageSize) {
  try {
    auto db = std::make_unique<vx::sqlite::Database>(path, mode, key, 250, pageSize);
    BoundPageCache(*db);
    return db;
  } catch (const vx::sqlite::SqliteError& e) {
    if (Busy(e.Code())) RaiseHeld(path);
    if (e.Code() == SQLITE_NOTADB)
      RaiseNotAnArchive(path, "it does not open with the archive's key, or its first page is damaged");
    if (e.Code() == SQLITE_CORRUPT) RaiseDamaged(path, sqlite3_errstr(e.Code()));
    RaiseUnusable("The archive database '" + path + "' cannot be read", e.Code());
  }
}

[[noreturn]] void RaiseJudged(const std::string& path, const vx::sqlite::SqliteError& e) {
  if (Busy(e.Code())) RaiseHeld(path);
  if (e.Code() == SQLITE_CORRUPT || e.Code() == SQLITE_NOTADB) RaiseDamaged(path, sqlite3_errstr(e.Code()));
  RaiseUnusable("The archive database '" + path + "' cannot be read", e.Code());
}

// Opens the file read only and judges it: the archive's tables, SQLite's
// integrity check (every page read, decrypted and authenticated), and every
// row of every table read.
void JudgeRows(const std::string& path, const std::string& key, vx::sqlite::OpenMode mode, int pageSize) {
  ReadAhead(path);
  auto db = OpenToJudge(path, key, mode, pageSize);
  try {
    std::vector<std::string> tables;
    {
      auto s = db->Prepare("SELECT name FROM main.sqlite_master WHERE type = 'table' ORDER BY name");
      while (s.Step()) tables.push_back(s.Text(0));
    }
    bool storedQueries = false;
    for (const auto& t : tables) storedQueries |= t == "StoredQueries";
    if (!storedQueries) RaiseNotAnArchive(path, "it holds no archive tables");
    {
      auto ic = db->Prepare("PRAGMA integrity_check(1)");
      const std::string result = ic.Step() ? ic.Text(0) : std::string("no answer");
      if (result != "ok") RaiseDamaged(path, "its integrity check failed (" + FirstProblem(result) + ")");
    }
    for (const auto& t : tables) ReadRows(*db, path, t);
  } catch (const vx::sqlite::SqliteError& e) {
    RaiseJudged(path, e);
  }
}

}  // namespace

void ReadAhead(const std::string& path) {
  // Only a regular file: a fifo or a device in the file's place is not waited on.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) return;
  // Through the process's own descriptor of the file, which stays open: a
  // descriptor opened and closed here would drop the locks the process's
  // connections hold on the file.
  std::shared_ptr<ArchiveDescriptor> file;
  try {
    file = ArchiveDescriptor::Hold(path);
  } catch (const ComError&) {
    return;  // the check that follows says why the file cannot be read
  }
  const int fd = file->Fd();
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) return;
  const auto size = static_cast<std::size_t>(st.st_size);
  const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  bool cached = false;
  if (void* map = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0); map != MAP_FAILED) {
    std::vector<unsigned char> resident((size + page - 1) / page);
    cached = ::mincore(map, size, resident.data()) == 0 &&
             std::all_of(resident.begin(), resident.end(), [](unsigned char r) { return (r & 1) != 0; });
    ::munmap(map, size);
  }
  if (cached) return;
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  std::vector<char> buffer(1 << 20);
  for (off_t at = 0;;) {
    const ssize_t n = ::pread(fd, buffer.data(), buffer.size(), at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    at += n;
  }
}

void BoundPageCache(vx::sqlite::Database& db) { db.Exec("PRAGMA cache_size = -32768"); }

void CheckSound(const std::string& path, const std::string& key, SoundnessOf of) {
  struct stat st {};
  const bool found = ::stat(path.c_str(), &st) == 0;
  const bool known = found && S_ISREG(st.st_mode);
  if (found && S_ISDIR(st.st_mode)) RaiseCannotOpen(path, "it is a directory, not a file");
  if (found && !known) RaiseCannotOpen(path, "it is not a file");
  if (known && st.st_size == 0) RaiseNotAnArchive(path, "the file is empty");
  if (of == SoundnessOf::Copy) {
    JudgeRows(path, key, vx::sqlite::OpenMode::Immutable, FilePageSize(path, key));
    return;
  }
  if (known) {
    std::lock_guard<std::mutex> guard(passedMutex);
    if (Same(passed, path, st)) {
      passed = PassedFile{};  // one later call is spared, no more
      return;
    }
  }
  CheckCompanions(path);
  // A journal left by a write that a kill or a power cut stopped half-way: the
  // file is as no transaction left it until SQLite has rolled the journal back,
  // which the first read of a connection that may write does.
  if (NonEmpty(path + "-journal")) {
    try {
      vx::sqlite::Database db(path, vx::sqlite::OpenMode::ReadWrite, key, 250, ArchivePageSize(path, key));
    } catch (const vx::sqlite::SqliteError& e) {
      if (Busy(e.Code())) RaiseHeld(path);
      if (e.Code() == SQLITE_NOTADB)
        RaiseNotAnArchive(path, "it does not open with the archive's key, or its first page is damaged");
      if (e.Code() == SQLITE_CORRUPT) RaiseDamaged(path, sqlite3_errstr(e.Code()));
      RaiseUnusable("The journal '" + path + "-journal' cannot be rolled back into the archive database '" + path + "'",
                    e.Code());
    }
  }
  // Before the log is read: a log that has lost committed pages (SQLite would
  // drop them without a word, and the fold below would then remove the log)
  // stops the check, and the archive and its log stay as they are. The index
  // beside the log is read through a descriptor of the check's own, closed
  // again; closing it must not undo a lock of a connection of this process, so
  // the idle one goes first (no call runs while the archive is checked).
  CloseIdleConnection(path);
  if (const auto lost = LostLogPages(path)) RaiseLogUnreadable(path, *lost);
  // Judged as it is, read only. Without a log the file alone is read and nothing
  // is made beside it; with one, the log's pages are read as the file's.
  const bool logged = NonEmpty(path + "-wal");
  if (!logged) {
    JudgeRows(path, key, vx::sqlite::OpenMode::Immutable, FilePageSize(path, key));
  } else {
    try {
      JudgeRows(path, key, vx::sqlite::OpenMode::ReadOnly, ArchivePageSize(path, key));
    } catch (const ComError& e) {
      if (e.Number() != err::kArchiveNotADatabase && e.Number() != err::kArchiveNotAnArchive) throw;
      // The file with its log fails, the file alone may not: the log's pages
      // do not belong to the file (another archive's log), or are damaged.
      try {
        JudgeRows(path, key, vx::sqlite::OpenMode::Immutable, FilePageSize(path, key));
      } catch (const ComError&) {
        throw e;
      }
      RaiseLogUnreadable(path,
                         "its pages do not open with the archive database's key, though the archive database alone "
                         "opens and passes its check: it is another archive's log, or it is damaged");
    }
  }
  struct stat read {};
  const bool unchanged = known && ::stat(path.c_str(), &read) == 0 && read.st_ino == st.st_ino &&
                         read.st_size == st.st_size && read.st_mtim.tv_sec == st.st_mtim.tv_sec &&
                         read.st_mtim.tv_nsec == st.st_mtim.tv_nsec;
  // A sound file takes in what its write-ahead log holds and the log goes, so
  // that the file alone (what the backup and the compacted copy are made from)
  // holds every committed row. The connection kept idle between calls closes
  // first; the last connection to close removes the log. A failure here leaves
  // the log whole: SQLite keeps every page in it until all are in the file.
  CloseIdleConnection(path);
  struct stat index {};
  if (logged || ::stat((path + "-wal").c_str(), &index) == 0 || ::stat((path + "-shm").c_str(), &index) == 0) {
    try {
      vx::sqlite::Database db(path, vx::sqlite::OpenMode::ReadWrite, key, 250, ArchivePageSize(path, key));
      auto fold = db.Prepare("PRAGMA main.wal_checkpoint(TRUNCATE)");
      if (fold.Step() && fold.Int64(0) != 0) RaiseHeld(path);
    } catch (const vx::sqlite::SqliteError& e) {
      if (Busy(e.Code())) RaiseHeld(path);
      RaiseUnusable("The log '" + path + "-wal' cannot be taken into the archive database '" + path + "'", e.Code(),
                    " Every row is still in the archive database and its log.");
    }
  }
  if (!NoLog(path)) RaiseHeld(path);
  // Only a file left as it was while it was read counts as checked.
  struct stat after {};
  if (unchanged && ::stat(path.c_str(), &after) == 0) {
    std::lock_guard<std::mutex> guard(passedMutex);
    passed = PassedFile{path, after.st_dev, after.st_ino, after.st_size, after.st_mtim};
  }
}

}  // namespace vx::archive::detail
