#include "registry/RegistryStore.h"

#include <chrono>
#include <ctime>
#include <utility>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"
#include "sqlite/Database.h"

namespace vx::registry {
namespace {

namespace fs = std::filesystem;
using sqlite::Database;

constexpr int64_t kRootId = 1;
constexpr const char* kSource = "RegistryStore";
// SQLite's codes for a damaged file and for one that is no database.
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteNotADb = 26;

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS reg_keys(
  id INTEGER PRIMARY KEY,
  parent INTEGER REFERENCES reg_keys(id),
  name TEXT NOT NULL COLLATE NOCASE,
  class TEXT NOT NULL DEFAULT '',
  last_write INTEGER NOT NULL);
CREATE UNIQUE INDEX IF NOT EXISTS reg_keys_child ON reg_keys(parent, name);
CREATE TABLE IF NOT EXISTS reg_values(
  key_id INTEGER NOT NULL,
  name TEXT NOT NULL COLLATE NOCASE,
  type INTEGER NOT NULL,
  data BLOB NOT NULL,
  PRIMARY KEY(key_id, name));
)sql";

const char* RootFileName(int32_t root) {
  switch (static_cast<uint32_t>(root)) {
    case 0x80000000u: return "HKEY_CLASSES_ROOT";
    case 0x80000001u: return "HKEY_CURRENT_USER";
    case 0x80000002u: return "HKEY_LOCAL_MACHINE";
    case 0x80000003u: return "HKEY_USERS";
    case 0x80000004u: return "HKEY_PERFORMANCE_DATA";
    case 0x80000005u: return "HKEY_CURRENT_CONFIG";
    case 0x80000006u: return "HKEY_DYN_DATA";
    default: return nullptr;
  }
}

uint64_t NowFileTime() {
  using namespace std::chrono;
  const auto since1970 = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
  return static_cast<uint64_t>(since1970 / 100) + 116444736000000000ULL;
}

struct OpenKeyEntry {
  Database* store;
  int64_t id;
};

// Process-wide: one connection per store and the table of open handles.
struct State {
  std::mutex mutex;
  std::map<std::string, std::unique_ptr<Database>> stores;  // by file path
  std::map<HKey, OpenKeyEntry> handles;
  HKey next = 1;
};

State& GetState() {
  static State state;
  return state;
}

// Notices of damaged stores set aside, until the program takes them.
std::vector<std::string>& SetAsideNotices() {
  static std::vector<std::string> notices;
  return notices;
}

std::unique_ptr<Database> OpenStore(const fs::path& path) {
  auto db = std::make_unique<Database>(path.string());
  {
    auto check = db->Prepare("PRAGMA quick_check(1)");
    const std::string result = check.Step() ? check.Text(0) : std::string("no answer");
    if (result != "ok") throw sqlite::SqliteError(kSqliteCorrupt, kSource, result);
  }
  db->Exec(kSchema);
  db->Exec("INSERT OR IGNORE INTO reg_keys(id, parent, name, last_write) VALUES(1, NULL, '', " +
           std::to_string(NowFileTime()) + ")");
  return db;
}

// A name beside the store that no other file has: its name, ".damaged-" and
// the local date and time (and a number, should that name be taken).
fs::path SetAsideName(const fs::path& path) {
  const std::time_t now = std::time(nullptr);
  std::tm local {};
  ::localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  fs::path aside = path.string() + ".damaged-" + stamp;
  for (int n = 2; fs::exists(fs::symlink_status(aside)); ++n)
    aside = path.string() + ".damaged-" + stamp + "-" + std::to_string(n);
  return aside;
}

Database* Store(State& s, int32_t root) {
  const char* file = RootFileName(root);
  if (!file) return nullptr;
  const fs::path folder = StoreFolder();
  const fs::path path = folder / (std::string(file) + ".db");
  auto it = s.stores.find(path.string());
  if (it != s.stores.end()) return it->second.get();
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec)
    throw ComError(err::kPathNotFound, kSource,
                   "The registry folder '" + folder.string() + "' cannot be created: " + ec.message());
  std::unique_ptr<Database> db;
  try {
    db = OpenStore(path);
  } catch (const sqlite::SqliteError& e) {
    const bool damaged = e.Code() == kSqliteCorrupt || e.Code() == kSqliteNotADb;
    if (!damaged)
      throw ComError(err::kUnspecified, kSource, "The registry store '" + path.string() + "' cannot be used: " + e.Description());
    // Settings can be made again: a damaged store is set aside as it is (with
    // its journal), and a new one starts from the defaults.
    const fs::path aside = SetAsideName(path);
    fs::rename(path, aside, ec);
    if (ec)
      throw ComError(err::kUnspecified, kSource,
                     "The registry store '" + path.string() + "' is damaged and cannot be set aside: " + ec.message());
    for (const char* suffix : {"-journal", "-wal", "-shm"}) {
      std::error_code ignored;
      if (fs::exists(fs::symlink_status(path.string() + suffix)))
        fs::rename(path.string() + suffix, aside.string() + suffix, ignored);
    }
    SetAsideNotices().push_back("The settings store '" + path.string() + "' was damaged (" +
                                (e.Code() == kSqliteNotADb ? "it is not a database" : "it is malformed") +
                                "). It was set aside as '" + aside.string() +
                                "', and the settings start again from their defaults.");
    try {
      db = OpenStore(path);
    } catch (const sqlite::SqliteError& again) {
      throw ComError(err::kUnspecified, kSource, "The registry store '" + path.string() + "' cannot be used: " + again.Description());
    }
  }
  Database* raw = db.get();
  s.stores.emplace(path.string(), std::move(db));
  return raw;
}

// A NUL would end the name in the store's comparisons, so that names that
// differ after it would name one key or value: such names are refused.
bool HasNul(const std::string& name) { return name.find('\0') != std::string::npos; }

// Splits a path into its parts; nullopt when the path is malformed.
std::optional<std::vector<std::string>> SplitPath(std::string path) {
  if (HasNul(path)) return std::nullopt;
  if (!path.empty() && path.front() == '\\') path.erase(0, 1);
  if (!path.empty() && path.back() == '\\') path.pop_back();
  std::vector<std::string> parts;
  if (path.empty()) return parts;
  size_t start = 0;
  while (true) {
    size_t pos = path.find('\\', start);
    std::string part = path.substr(start, pos == std::string::npos ? std::string::npos : pos - start);
    if (part.empty()) return std::nullopt;
    parts.push_back(std::move(part));
    if (pos == std::string::npos) break;
    start = pos + 1;
  }
  return parts;
}

std::optional<int64_t> FindChild(Database& db, int64_t parent, const std::string& name) {
  auto st = db.Prepare("SELECT id FROM reg_keys WHERE parent = ?1 AND name = ?2");
  st.Bind(1, parent).Bind(2, name);
  if (st.Step()) return st.Int64(0);
  return std::nullopt;
}

std::optional<int64_t> FindKey(Database& db, const std::vector<std::string>& parts) {
  int64_t id = kRootId;
  for (const auto& part : parts) {
    auto child = FindChild(db, id, part);
    if (!child) return std::nullopt;
    id = *child;
  }
  return id;
}

bool KeyExists(Database& db, int64_t id) {
  auto st = db.Prepare("SELECT 1 FROM reg_keys WHERE id = ?1");
  st.Bind(1, id);
  return st.Step();
}

void Touch(Database& db, int64_t id) {
  auto st = db.Prepare("UPDATE reg_keys SET last_write = ?1 WHERE id = ?2");
  st.Bind(1, static_cast<int64_t>(NowFileTime())).Bind(2, id);
  st.Step();
}

HKey NewHandle(State& s, Database* store, int64_t id) {
  HKey h = s.next++;
  s.handles[h] = {store, id};
  return h;
}

// Resolves a handle to its store and key; 0 on success.
long Resolve(State& s, HKey key, Database*& db, int64_t& id) {
  auto it = s.handles.find(key);
  if (it == s.handles.end()) return kInvalidHandle;
  db = it->second.store;
  id = it->second.id;
  if (!KeyExists(*db, id)) return kKeyDeleted;
  return kSuccess;
}

// SQLite failures of an existing store (locked past the timeout, disk full)
// are refusals of the operation, never silent success.
template <typename F>
long Guard(F&& f) {
  try {
    return f();
  } catch (const sqlite::SqliteError&) {
    return kAccessDenied;
  }
}

// Runs f on the store of root and the parts of path, under the process lock.
template <typename F>
long OnPath(int32_t root, const std::string& path, F&& f) {
  State& s = GetState();
  std::lock_guard lock(s.mutex);
  Database* db = Store(s, root);
  if (!db) return kInvalidHandle;
  auto parts = SplitPath(path);
  if (!parts) return kBadPathname;
  return Guard([&]() -> long { return f(s, *db, *parts); });
}

}  // namespace

std::vector<std::string> TakeSetAsideNotices() {
  State& s = GetState();
  std::lock_guard lock(s.mutex);
  return std::exchange(SetAsideNotices(), {});
}

std::string StoreFolder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  fs::path base;
  if (xdg && *xdg) {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = fs::path(home && *home ? home : ".") / ".config";
  }
  return (base / "vexilon" / "registry").string();
}

long RegOpenKeyEx(int32_t root, const std::string& path, HKey* result) {
  return OnPath(root, path, [&](State& s, Database& db, const std::vector<std::string>& parts) -> long {
    auto id = FindKey(db, parts);
    if (!id) return kFileNotFound;
    *result = NewHandle(s, &db, *id);
    return kSuccess;
  });
}

long RegCreateKeyEx(int32_t root, const std::string& path, HKey* result) {
  return OnPath(root, path, [&](State& s, Database& db, const std::vector<std::string>& parts) -> long {
    sqlite::Transaction tx(db);
    int64_t id = kRootId;
    for (const auto& part : parts) {
      auto child = FindChild(db, id, part);
      if (!child) {
        auto ins = db.Prepare("INSERT INTO reg_keys(parent, name, last_write) VALUES(?1, ?2, ?3)");
        ins.Bind(1, id).Bind(2, part).Bind(3, static_cast<int64_t>(NowFileTime()));
        ins.Step();
        Touch(db, id);
        child = db.LastInsertRowId();
      }
      id = *child;
    }
    tx.Commit();
    *result = NewHandle(s, &db, id);
    return kSuccess;
  });
}

long RegCloseKey(HKey key) {
  State& s = GetState();
  std::lock_guard lock(s.mutex);
  return s.handles.erase(key) ? kSuccess : kInvalidHandle;
}

long RegQueryValueEx(HKey key, const std::string& name, uint32_t* type, uint8_t* data, uint32_t* size) {
  if (HasNul(name)) return kInvalidParameter;
  State& s = GetState();
  std::lock_guard lock(s.mutex);
  Database* db = nullptr;
  int64_t id = 0;
  return Guard([&]() -> long {
    if (long rc = Resolve(s, key, db, id)) return rc;
    auto st = db->Prepare("SELECT type, data FROM reg_values WHERE key_id = ?1 AND name = ?2");
    st.Bind(1, id).Bind(2, name);
    if (!st.Step()) return kFileNotFound;
    const std::vector<uint8_t> bytes = st.Blob(1);
    if (type) *type = static_cast<uint32_t>(st.Int64(0));
    if (!size) return kInvalidParameter;
    const uint32_t capacity = *size;
    *size = static_cast<uint32_t>(bytes.size());
    if (bytes.size() > capacity) return kMoreData;
    if (data && !bytes.empty()) std::copy(bytes.begin(), bytes.end(), data);
    return kSuccess;
  });
}

namespace {

// Runs a write under an immediate transaction, checking the key still exists inside it.
template <typename F>
long WriteOnKey(HKey key, F&& f) {
  State& s = GetState();
  std::lock_guard lock(s.mutex);
  Database* db = nullptr;
  int64_t id = 0;
  return Guard([&]() -> long {
    if (long rc = Resolve(s, key, db, id)) return rc;
    sqlite::Transaction tx(*db);
    if (!KeyExists(*db, id)) return kKeyDeleted;
    if (long rc = f(*db, id)) return rc;
    Touch(*db, id);
    tx.Commit();
    return kSuccess;
  });
}

}  // namespace

long RegSetValueEx(HKey key, const std::string& name, uint32_t type, const uint8_t* data, uint32_t size) {
  if ((size > 0 && !data) || HasNul(name)) return kInvalidParameter;
  return WriteOnKey(key, [&](Database& db, int64_t id) -> long {
    auto st = db.Prepare("INSERT OR REPLACE INTO reg_values(key_id, name, type, data) VALUES(?1, ?2, ?3, ?4)");
    st.Bind(1, id).Bind(2, name).Bind(3, static_cast<int64_t>(type));
    st.BindBlob(4, std::vector<uint8_t>(data, data + size));
    st.Step();
    return kSuccess;
  });
}

long RegDeleteValue(HKey key, const std::string& name) {
  if (HasNul(name)) return kInvalidParameter;
  return WriteOnKey(key, [&](Database& db, int64_t id) -> long {
    auto st = db.Prepare("DELETE FROM reg_values WHERE key_id = ?1 AND name = ?2");
    st.Bind(1, id).Bind(2, name);
    st.Step();
    return db.Changes() > 0 ? kSuccess : kFileNotFound;
  });
}

long RegDeleteKey(int32_t root, const std::string& path) {
  return OnPath(root, path, [&](State&, Database& db, const std::vector<std::string>& parts) -> long {
    if (parts.empty()) return kBadKey;  // never the root, never an empty path
    sqlite::Transaction tx(db);
    auto id = FindKey(db, parts);
    if (!id) return kFileNotFound;
    auto sub = db.Prepare("SELECT 1 FROM reg_keys WHERE parent = ?1");
    sub.Bind(1, *id);
    if (sub.Step()) return kAccessDenied;
    auto parent = db.Prepare("SELECT parent FROM reg_keys WHERE id = ?1");
    parent.Bind(1, *id);
    parent.Step();
    const int64_t parentId = parent.Int64(0);
    for (const char* sql : {"DELETE FROM reg_values WHERE key_id = ?1", "DELETE FROM reg_keys WHERE id = ?1"}) {
      auto del = db.Prepare(sql);
      del.Bind(1, *id);
      del.Step();
    }
    Touch(db, parentId);
    tx.Commit();
    return kSuccess;
  });
}

long RegQueryInfoKey(HKey key, std::string* className, KeyInfo* info) {
  State& s = GetState();
  std::lock_guard lock(s.mutex);
  Database* db = nullptr;
  int64_t id = 0;
  return Guard([&]() -> long {
    if (long rc = Resolve(s, key, db, id)) return rc;
    KeyInfo out;
    auto k = db->Prepare("SELECT class, last_write FROM reg_keys WHERE id = ?1");
    k.Bind(1, id);
    if (!k.Step()) return kKeyDeleted;
    const std::string cls = k.Text(0);
    out.lastWriteTime = static_cast<uint64_t>(k.Int64(1));
    auto sub = db->Prepare(
        "SELECT count(*), coalesce(max(length(name)), 0), coalesce(max(length(class)), 0) "
        "FROM reg_keys WHERE parent = ?1");
    sub.Bind(1, id);
    sub.Step();
    out.subKeys = sub.Int(0);
    out.maxSubKeyLen = sub.Int(1);
    out.maxClassLen = sub.Int(2);
    auto val = db->Prepare(
        "SELECT count(*), coalesce(max(length(name)), 0), coalesce(max(length(data)), 0) "
        "FROM reg_values WHERE key_id = ?1");
    val.Bind(1, id);
    val.Step();
    out.values = val.Int(0);
    out.maxValueNameLen = val.Int(1);
    out.maxValueLen = val.Int(2);
    if (className) *className = cls;
    if (info) *info = out;
    return kSuccess;
  });
}

}  // namespace vx::registry
