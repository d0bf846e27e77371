#include "SimStore.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

#include "automation/OleDate.h"
#include "sqlserver/ServerErrors.h"
#include "sqlserver/Utf16.h"

#include <sqlcipher/sqlite3.h>

namespace vx::sqlsim {

namespace {

// Next code point of UTF-8 text, folded to lower case for ASCII and Latin-1 letters.
uint32_t NextFolded(const unsigned char*& p, const unsigned char* end) {
  uint32_t c = *p++;
  int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : 0;
  if (extra) c &= (0x3F >> extra);
  for (; extra > 0 && p < end && (*p & 0xC0) == 0x80; --extra) c = (c << 6) | (*p++ & 0x3F);
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) c += 0x20;
  return c;
}

// Case-insensitive, accent-sensitive, trailing blanks ignored; letters beyond ASCII
// order by code point.
int CompareCi(void*, int la, const void* a, int lb, const void* b) {
  const auto* pa = static_cast<const unsigned char*>(a);
  const auto* pb = static_cast<const unsigned char*>(b);
  while (la > 0 && pa[la - 1] == ' ') --la;
  while (lb > 0 && pb[lb - 1] == ' ') --lb;
  const unsigned char *ea = pa + la, *eb = pb + lb;
  while (pa < ea && pb < eb) {
    uint32_t ca = NextFolded(pa, ea), cb = NextFolded(pb, eb);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return pa < ea ? 1 : pb < eb ? -1 : 0;
}

const char* kSchema = R"SQL(
CREATE TABLE server_info(key TEXT PRIMARY KEY, value TEXT);
CREATE TABLE logins(sid INTEGER PRIMARY KEY, name TEXT COLLATE SQLCI NOT NULL UNIQUE, password TEXT,
  isntname INTEGER NOT NULL DEFAULT 0, sysadmin INTEGER NOT NULL DEFAULT 0, dbname TEXT COLLATE SQLCI,
  createdate DATETIME);
CREATE TABLE databases(dbid INTEGER PRIMARY KEY, name TEXT COLLATE SQLCI NOT NULL UNIQUE, sid INTEGER,
  crdate DATETIME, status INTEGER NOT NULL DEFAULT 0, cmptlevel INTEGER NOT NULL DEFAULT 80);
CREATE TABLE objects(dbid INTEGER NOT NULL, id INTEGER NOT NULL, name TEXT COLLATE SQLCI NOT NULL,
  xtype TEXT COLLATE SQLCI NOT NULL, uid INTEGER NOT NULL, parent_obj INTEGER NOT NULL DEFAULT 0,
  crdate DATETIME, schema_ver INTEGER NOT NULL DEFAULT 0, status INTEGER NOT NULL DEFAULT 0,
  category INTEGER NOT NULL DEFAULT 0, quoted_ident INTEGER NOT NULL DEFAULT 1,
  ansi_nulls INTEGER NOT NULL DEFAULT 1, shipped INTEGER NOT NULL DEFAULT 0, PRIMARY KEY(dbid, id));
CREATE INDEX objects_by_name ON objects(dbid, name);
CREATE INDEX objects_by_xtype ON objects(dbid, xtype, name);
CREATE INDEX objects_by_parent ON objects(dbid, parent_obj);
CREATE TABLE comments(dbid INTEGER NOT NULL, id INTEGER NOT NULL, number INTEGER NOT NULL, colid INTEGER NOT NULL,
  status INTEGER NOT NULL DEFAULT 0, ctext BLOB, text TEXT, encrypted INTEGER NOT NULL DEFAULT 0,
  compressed INTEGER NOT NULL DEFAULT 0, texttype INTEGER NOT NULL DEFAULT 2, PRIMARY KEY(dbid, id, number, colid));
CREATE TABLE users(dbid INTEGER NOT NULL, uid INTEGER NOT NULL, name TEXT COLLATE SQLCI NOT NULL, sid INTEGER,
  status INTEGER NOT NULL DEFAULT 0, hasdbaccess INTEGER NOT NULL DEFAULT 0, issqluser INTEGER NOT NULL DEFAULT 0,
  isntuser INTEGER NOT NULL DEFAULT 0, issqlrole INTEGER NOT NULL DEFAULT 0, PRIMARY KEY(dbid, uid));
CREATE UNIQUE INDEX users_by_name ON users(dbid, name);
CREATE TABLE members(dbid INTEGER NOT NULL, memberuid INTEGER NOT NULL, groupuid INTEGER NOT NULL,
  PRIMARY KEY(dbid, memberuid, groupuid));
)SQL";

// What hangs on objects: permissions, indexes of views, and schema binding: the
// modules bound (with a view's columns and why it cannot be indexed, "" when it
// can) and the objects each references; the columns of views, by colid, when
// their names could be read from the view's select list. Files made before these tables existed
// get them when they are first opened.
const char* kObjectSchema = R"SQL(
CREATE TABLE IF NOT EXISTS protects(dbid INTEGER NOT NULL, id INTEGER NOT NULL, uid INTEGER NOT NULL,
  action INTEGER NOT NULL, protecttype INTEGER NOT NULL, columns BLOB, grantor INTEGER NOT NULL,
  PRIMARY KEY(dbid, id, uid, action));
CREATE TABLE IF NOT EXISTS indexes(dbid INTEGER NOT NULL, id INTEGER NOT NULL, indid INTEGER NOT NULL,
  name TEXT COLLATE SQLCI NOT NULL, status INTEGER NOT NULL, keycnt INTEGER NOT NULL, PRIMARY KEY(dbid, id, indid));
CREATE TABLE IF NOT EXISTS indexkeys(dbid INTEGER NOT NULL, id INTEGER NOT NULL, indid INTEGER NOT NULL,
  keyno INTEGER NOT NULL, colname TEXT COLLATE SQLCI NOT NULL, descending INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY(dbid, id, indid, keyno));
CREATE TABLE IF NOT EXISTS bound(dbid INTEGER NOT NULL, id INTEGER NOT NULL, columns TEXT, unindexable TEXT,
  PRIMARY KEY(dbid, id));
CREATE TABLE IF NOT EXISTS bindings(dbid INTEGER NOT NULL, id INTEGER NOT NULL, refid INTEGER NOT NULL,
  PRIMARY KEY(dbid, id, refid));
CREATE INDEX IF NOT EXISTS bindings_by_ref ON bindings(dbid, refid);
CREATE TABLE IF NOT EXISTS viewcolumns(dbid INTEGER NOT NULL, id INTEGER NOT NULL, colid INTEGER NOT NULL,
  name TEXT COLLATE SQLCI NOT NULL, PRIMARY KEY(dbid, id, colid));
)SQL";

void AddObjectTables(sqlite::Database& db) {
  auto has = [&] {
    auto st = db.Prepare("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name IN "
                         "('protects', 'indexes', 'indexkeys', 'bound', 'bindings', 'viewcolumns')");
    return st.Step() && st.Int(0) == 6;
  };
  if (has()) return;
  sqlite::Transaction tx(db);
  if (has()) return;
  db.Exec(kObjectSchema);
  // Schema-bound views and functions made before are known by their text; what
  // they reference is not, so their views are not indexed until made again.
  auto texts = db.Prepare(
      "SELECT o.dbid, o.id, o.xtype, c.colid, c.text, c.ctext, c.encrypted FROM objects o JOIN comments c "
      "ON c.dbid = o.dbid AND c.id = o.id AND c.number = 1 WHERE o.xtype IN ('V', 'FN', 'IF', 'TF') "
      "ORDER BY o.dbid, o.id, c.colid");
  auto bound = db.Prepare("INSERT OR IGNORE INTO bound(dbid, id, columns, unindexable) VALUES (?, ?, NULL, ?)");
  while (texts.Step()) {
    std::string text = texts.IsNull(4) ? std::string() : texts.Text(4);
    if (texts.Int(6) != 0 && !texts.IsNull(5)) {
      const std::vector<uint8_t> bytes = texts.Blob(5);
      const std::string utf16 =
          Obfuscate(std::string(bytes.begin(), bytes.end()), static_cast<int32_t>(texts.Int64(1) + texts.Int64(3)));
      std::u16string units;
      for (size_t i = 0; i + 1 < utf16.size(); i += 2)
        units += static_cast<char16_t>(static_cast<uint8_t>(utf16[i]) | (static_cast<uint8_t>(utf16[i + 1]) << 8));
      text = sqlserver::Utf16ToUtf8(units);
    }
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (text.find("SCHEMABINDING") == std::string::npos) continue;
    bound.Reset();
    bound.Bind(1, texts.Int64(0)).Bind(2, texts.Int64(1));
    if (texts.Text(2) == "V") bound.Bind(3, "An index on a view made before the simulator kept schema binding");
    else bound.BindNull(3);
    bound.Step();
  }
  tx.Commit();
}

struct SysObject {
  const char* name;
  int id;
};

// Files of format 1 cut texts every 4000 characters and kept ctext as UTF-8.
// Their rows are cut again as the server cuts them, from each object's text
// joined as it was stored (an encrypted one from its ctext), so every text
// reads back byte for byte. Once, under the write lock, for all processes.
void UpgradeCommentRows(sqlite::Database& db) {
  auto format = [&] {
    auto st = db.Prepare("SELECT value FROM server_info WHERE key = 'format'");
    return st.Step() ? st.Text(0) : std::string("1");
  };
  if (format() != "1") return;
  sqlite::Transaction tx(db);
  if (format() != "1") return;
  struct Group {
    int64_t dbid, id, number, status, encrypted, compressed, texttype;
    bool hasBytes;
    std::string text;
  };
  std::vector<Group> groups;
  auto rows = db.Prepare("SELECT dbid, id, number, colid, status, ctext, text, encrypted, compressed, texttype "
                         "FROM comments ORDER BY dbid, id, number, colid");
  while (rows.Step()) {
    const int64_t dbid = rows.Int64(0), id = rows.Int64(1), number = rows.Int64(2);
    if (groups.empty() || groups.back().dbid != dbid || groups.back().id != id || groups.back().number != number)
      groups.push_back({dbid, id, number, rows.Int64(4), rows.Int64(7), rows.Int64(8), rows.Int64(9),
                        !rows.IsNull(5), std::string()});
    std::string piece = rows.Text(6);
    if (groups.back().encrypted) {
      const std::vector<uint8_t> bytes = rows.Blob(5);
      piece = Obfuscate(std::string(bytes.begin(), bytes.end()), static_cast<int32_t>(id + rows.Int64(3)));
    }
    groups.back().text += piece;
  }
  auto del = db.Prepare("DELETE FROM comments WHERE dbid = ? AND id = ? AND number = ?");
  auto ins = db.Prepare("INSERT INTO comments(dbid, id, number, colid, status, ctext, text, encrypted, compressed, "
                        "texttype) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  for (const Group& g : groups) {
    del.Reset();
    del.Bind(1, g.dbid).Bind(2, g.id).Bind(3, g.number);
    del.Step();
    int64_t colid = 0;
    for (const std::string& row : SplitCommentRows(g.text)) {
      ++colid;
      const std::string bytes =
          g.encrypted ? Obfuscate(CommentBytes(row), static_cast<int32_t>(g.id + colid)) : CommentBytes(row);
      ins.Reset();
      ins.Bind(1, g.dbid).Bind(2, g.id).Bind(3, g.number).Bind(4, colid).Bind(5, g.status);
      if (g.hasBytes) ins.BindBlob(6, std::vector<uint8_t>(bytes.begin(), bytes.end()));
      else ins.BindNull(6);
      if (g.encrypted) ins.BindNull(7);
      else ins.Bind(7, row);
      ins.Bind(8, g.encrypted).Bind(9, g.compressed).Bind(10, g.texttype);
      ins.Step();
    }
  }
  db.Exec("INSERT OR REPLACE INTO server_info(key, value) VALUES ('format', '2')");
  tx.Commit();
}

}  // namespace

int BusyTimeoutMs() {
  if (const char* v = std::getenv("VEXILON_SIM_BUSY_MS")) {
    int ms = std::atoi(v);
    if (ms > 0) return ms;
  }
  return -1;
}

sqlite::Database OpenServerFile(const std::string& path, bool create) {
  if (!create && !std::filesystem::exists(path))
    throw ComError(err::kServerUnreachable, "SQLServer",
                   "[DBNETLIB][ConnectionOpen (Connect()).]SQL Server does not exist or access denied.");
  if (create) {
    // The file holds object source and logins: only its owner may read it. SQLite
    // gives the journal, -wal and -shm files the mode of the database file.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
      throw ComError(err::kServerUnreachable, "SQLServer",
                     "The simulated server file '" + path + "' cannot be created: " + std::strerror(errno));
    ::close(fd);
  }
  try {
    const int busyMs = BusyTimeoutMs();
    sqlite::Database db(path, create ? sqlite::OpenMode::ReadWriteCreate : sqlite::OpenMode::ReadWrite, std::nullopt,
                        busyMs >= 0 ? busyMs : INT_MAX);
    sqlite3_create_collation(db.Handle(), kCollation, SQLITE_UTF8, nullptr, CompareCi);
    // WAL keeps the file consistent without a sync on every commit.
    db.Exec("PRAGMA synchronous = NORMAL");
    if (!create) {
      auto st = db.Prepare("SELECT value FROM server_info WHERE key = 'name'");
      if (!st.Step()) throw ComError(err::kServerUnreachable, "SQLServer", "no server name");
    }
    if (!create) {
      UpgradeCommentRows(db);
      AddObjectTables(db);
    }
    return db;
  } catch (const ComError& e) {
    throw ComError(err::kServerUnreachable, "SQLServer",
                   "The simulated server file '" + path + "' cannot be used: " + e.Description());
  }
}

double NowOle() {
  return OleFromUnixLocal(std::chrono::system_clock::to_time_t(std::chrono::system_clock::now()));
}

int32_t NextObjectId(sqlite::Database& db) {
  db.Exec("UPDATE server_info SET value = CAST(value AS INTEGER) + 16 WHERE key = 'next_id'");
  auto st = db.Prepare("SELECT CAST(value AS INTEGER) FROM server_info WHERE key = 'next_id'");
  st.Step();
  return static_cast<int32_t>(st.Int64(0));
}

void InitializeServer(sqlite::Database& db, const std::string& name, int versionMajor,
                      const std::string& productVersion, const std::string& saPassword) {
  db.Exec("PRAGMA journal_mode = WAL");
  sqlite::Transaction tx(db);
  db.Exec(kSchema);
  db.Exec(kObjectSchema);
  auto info = db.Prepare("INSERT INTO server_info(key, value) VALUES (?, ?)");
  auto put = [&](const char* k, const std::string& v) {
    info.Reset();
    info.Bind(1, k).Bind(2, v);
    info.Step();
  };
  put("format", "2");
  put("name", name);
  put("version_major", std::to_string(versionMajor));
  put("product_version", productVersion);
  put("next_id", "1977058000");
  double now = NowOle();
  auto login = db.Prepare("INSERT INTO logins(sid, name, password, isntname, sysadmin, dbname, createdate) "
                          "VALUES (1, 'sa', ?, 0, 1, 'master', ?)");
  login.Bind(1, saPassword).Bind(2, now);
  login.Step();
  const char* dbs[] = {"master", "tempdb", "model", "msdb"};
  for (int i = 0; i < 4; ++i) {
    auto st = db.Prepare("INSERT INTO databases(dbid, name, sid, crdate) VALUES (?, ?, 1, ?)");
    st.Bind(1, i + 1).Bind(2, dbs[i]).Bind(3, now);
    st.Step();
    InitializeDatabaseRows(db, i + 1, 1, false);
  }
  // Extended procedures live in master; their text is the library that holds them.
  auto obj = db.Prepare("INSERT INTO objects(dbid, id, name, xtype, uid, crdate, status, category, shipped) "
                        "VALUES (1, ?, ?, ?, 1, ?, ?, 2, 1)");
  auto com = db.Prepare("INSERT INTO comments(dbid, id, number, colid, text, encrypted) VALUES (1, ?, 1, 1, ?, 0)");
  struct { const char* name; const char* xtype; const char* text; } shipped[] = {
      {"xp_cmdshell", "X", "xplog70.dll"},
      {"xp_msver", "X", "xpstar.dll"},
      {"sp_helptext", "P", "create procedure sp_helptext\r\n@objname nvarchar(776)\r\nas\r\nreturn (0)"},
      {"sp_who", "P", "create procedure sp_who\r\n@loginame sysname = NULL\r\nas\r\nreturn (0)"},
  };
  for (auto& s : shipped) {
    int32_t id = NextObjectId(db);
    obj.Reset();
    obj.Bind(1, id).Bind(2, s.name).Bind(3, s.xtype).Bind(4, now).Bind(5, static_cast<int64_t>(0x80000001u));
    obj.Step();
    com.Reset();
    com.Bind(1, id).Bind(2, s.text);
    com.Step();
  }
  tx.Commit();
}

void InitializeDatabaseRows(sqlite::Database& db, int32_t dbid, int64_t ownerSid, bool userDatabase) {
  auto user = db.Prepare(
      "INSERT INTO users(dbid, uid, name, sid, hasdbaccess, issqluser, isntuser, issqlrole) VALUES (?,?,?,?,?,?,0,?)");
  auto add = [&](int uid, const char* name, std::optional<int64_t> sid, int access, int sqluser, int role) {
    user.Reset();
    user.Bind(1, dbid).Bind(2, uid).Bind(3, name);
    if (sid) user.Bind(4, *sid);
    else user.BindNull(4);
    user.Bind(5, access).Bind(6, sqluser).Bind(7, role);
    user.Step();
  };
  add(0, "public", std::nullopt, 0, 0, 1);
  add(1, "dbo", ownerSid, 1, 1, 0);
  add(2, "guest", std::nullopt, userDatabase ? 0 : 1, 1, 0);
  add(3, "INFORMATION_SCHEMA", std::nullopt, 0, 1, 0);
  add(4, "system_function_schema", std::nullopt, 0, 1, 0);
  const char* roles[] = {"db_owner", "db_accessadmin", "db_securityadmin", "db_ddladmin", nullptr,
                         "db_backupoperator", "db_datareader", "db_datawriter", "db_denydatareader",
                         "db_denydatawriter"};
  for (int i = 0; i < 10; ++i)
    if (roles[i]) add(16384 + i, roles[i], std::nullopt, 0, 0, 1);
  double now = NowOle();
  auto obj = db.Prepare("INSERT INTO objects(dbid, id, name, xtype, uid, crdate, status, category, shipped) "
                        "VALUES (?, ?, ?, ?, 1, ?, ?, ?, ?)");
  const SysObject system[] = {{"sysobjects", 1}, {"sysindexes", 2}, {"syscolumns", 3}, {"systypes", 4},
                              {"syscomments", 6}, {"sysusers", 10}, {"sysmembers", 15}, {"sysdepends", 12}};
  for (auto& s : system) {
    obj.Reset();
    obj.Bind(1, dbid).Bind(2, s.id).Bind(3, s.name).Bind(4, "S").Bind(5, now)
        .Bind(6, static_cast<int64_t>(0x80000001u)).Bind(7, 2).Bind(8, 1);
    obj.Step();
  }
  if (userDatabase) {
    // Every user database of this server version carries these shipped procedures.
    auto com = db.Prepare("INSERT INTO comments(dbid, id, number, colid, text, encrypted) VALUES (?, ?, 1, 1, ?, 0)");
    const char* dt[] = {"dt_verstamp006", "dt_displayoaerror", "dt_addtosourcecontrol"};
    for (const char* name : dt) {
      int32_t id = NextObjectId(db);
      obj.Reset();
      obj.Bind(1, dbid).Bind(2, id).Bind(3, name).Bind(4, "P").Bind(5, now)
          .Bind(6, static_cast<int64_t>(0x80000001u)).Bind(7, 2).Bind(8, 1);
      obj.Step();
      com.Reset();
      com.Bind(1, dbid).Bind(2, id).Bind(3, std::string("create procedure dbo.") + name +
                                                "\r\nas\r\n\treturn 0");
      com.Step();
    }
  }
}

std::vector<std::string> SplitCommentRows(const std::string& text) {
  // Counted in UTF-16 as the server counts, cut in UTF-8 without changing a byte:
  // a character of four bytes is two units, a byte that is not UTF-8 one.
  std::vector<std::string> rows(1);
  size_t units = 0;
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
    for (size_t k = 1; k < n; ++k)
      if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) n = 1;
    const size_t width = n == 4 ? 2 : 1;
    if (units + width > kCommentRowUnits) {
      const std::u16string pair = n == 4 ? sqlserver::Utf8ToUtf16(text.substr(i, 4)) : std::u16string();
      if (units < kCommentRowUnits && pair.size() == 2) {  // the cut falls inside the pair
        rows.back() += sqlserver::Utf16ToUtf8(pair.substr(0, 1));
        rows.push_back(sqlserver::Utf16ToUtf8(pair.substr(1)));
        units = 1;
        i += n;
        continue;
      }
      rows.emplace_back();
      units = 0;
    }
    rows.back().append(text, i, n);
    units += width;
    i += n;
  }
  return rows;
}

std::string CommentBytes(const std::string& row) {
  std::string bytes;
  for (char16_t u : sqlserver::Utf8ToUtf16(row)) {
    bytes += static_cast<char>(u & 0xFF);
    bytes += static_cast<char>(u >> 8);
  }
  return bytes;
}

std::string Obfuscate(const std::string& text, int32_t id) {
  std::string out(text);
  uint32_t k = static_cast<uint32_t>(id) * 2654435761u + 12345u;
  for (char& c : out) {
    k = k * 1103515245u + 12345u;
    c = static_cast<char>(c ^ static_cast<char>((k >> 16) & 0xFF));
  }
  return out;
}

}  // namespace vx::sqlsim
