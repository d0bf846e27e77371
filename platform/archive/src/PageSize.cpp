#include "PageSize.h"

#include <sqlcipher/sqlite3.h>

#include <cctype>
#include <cstdio>

#include "WriteAheadLog.h"

namespace vx::archive::detail {
namespace {

// The path as a URI's path: '%', '?' and '#' and every byte outside printable
// ASCII percent-encoded.
std::string UriPath(const std::string& path) {
  std::string out;
  for (const char c : path) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u >= 0x7f || c == '%' || c == '?' || c == '#') {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", u);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

// Whether the file's first page decrypts (and passes its check) with pages of
// `pageSize`. The file is opened immutable: SQLite then reads the file alone,
// as it lies, without locks and without looking for a journal or a log, so a
// try with the wrong size can neither roll back nor fold anything. A first
// page that does not decrypt is "not a database"; one that decrypts in a file
// shorter than it says is "corrupt", and of this size.
bool FirstPageDecrypts(const std::string& path, const std::string& key, int pageSize) {
  sqlite3* db = nullptr;
  const std::string uri = "file:" + UriPath(path) + "?immutable=1";
  bool ok = sqlite3_open_v2(uri.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) == SQLITE_OK &&
            sqlite3_key(db, key.data(), static_cast<int>(key.size())) == SQLITE_OK;
  const std::string size = "PRAGMA cipher_page_size = " + std::to_string(pageSize);
  ok = ok && sqlite3_exec(db, size.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  if (ok) {
    const int rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    ok = rc == SQLITE_OK || (rc & 0xFF) == SQLITE_CORRUPT;
  }
  sqlite3_close(db);
  return ok;
}

}  // namespace

int FilePageSize(const std::string& path, const std::string& key) {
  return FirstPageDecrypts(path, key, kCompactedPageSize) ? kCompactedPageSize : 0;
}

int ArchivePageSize(const std::string& path, const std::string& key) {
  switch (LogPageSize(path + "-wal")) {
    case kCompactedPageSize: return kCompactedPageSize;
    case 1024: return 0;
    default: return FilePageSize(path, key);
  }
}

std::unique_ptr<vx::sqlite::Database> OpenArchiveFile(const std::string& path, vx::sqlite::OpenMode mode,
                                                      const std::string& key, int busyTimeoutMs) {
  return std::make_unique<vx::sqlite::Database>(path, mode, key, busyTimeoutMs, ArchivePageSize(path, key));
}

}  // namespace vx::archive::detail
