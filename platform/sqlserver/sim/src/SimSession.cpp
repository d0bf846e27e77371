#include "SimSession.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <new>

#include "Executor.h"
#include "SimParameters.h"
#include "SimRegistry.h"
#include "SimStore.h"
#include "SimTypes.h"
#include "automation/ComError.h"
#include "sqlserver/ServerErrors.h"
#include "sqlserver_sim/SimFolder.h"

#include <sqlcipher/sqlite3.h>

namespace vx::sqlsim {

namespace {
constexpr const char* kSource = "SQLServer";

[[noreturn]] void LoginFailed(const std::string& text) {
  throw ComError(err::kServerConnection, kSource, "[Microsoft][ODBC SQL Server Driver][SQL Server]" + text);
}

bool IsBusy(const sqlite::SqliteError& e) { return e.Code() == SQLITE_BUSY || e.Code() == SQLITE_LOCKED; }
}  // namespace

SimSession::SimSession(std::string serverName, const std::string& path, const sqlserver::Credentials& credentials,
                       const std::string& database, bool internalAdmin)
    : serverName_(std::move(serverName)), db_(OpenServerFile(path, false)) {
  if (internalAdmin) {
    login_ = LoginRow{1, "sa", true, false, "master"};
  } else {
    std::string name = credentials.trusted ? CurrentWindowsLogin() : credentials.login;
    auto st = db_.Prepare("SELECT sid, name, password, isntname, sysadmin, dbname FROM logins WHERE name = ?");
    st.Bind(1, name);
    bool found = st.Step();
    if (credentials.trusted) {
      if (!found || st.Int(3) == 0)
        LoginFailed("Login failed for user '(null)'. Reason: Not associated with a trusted SQL Server connection.");
    } else {
      if (!found || st.Int(3) != 0 || (st.IsNull(2) ? std::string() : st.Text(2)) != credentials.password)
        LoginFailed("Login failed for user '" + credentials.login + "'.");
    }
    login_.sid = st.Int64(0);
    login_.name = st.Text(1);
    login_.windows = st.Int(3) != 0;
    login_.sysadmin = st.Int(4) != 0;
    login_.defaultDatabase = st.IsNull(5) ? "master" : st.Text(5);
  }
  sqlite3_busy_handler(db_.Handle(), &SimSession::BusyWait, this);
  RegisterFunctions();
  db_.Exec(
      "CREATE TEMP VIEW sysdatabases AS SELECT name, dbid, sid, 0 AS mode, status, 0 AS status2, crdate, "
      "crdate AS reserved, 0 AS category, cmptlevel, '' AS filename, 0 AS version FROM main.databases;"
      "CREATE TEMP VIEW syslogins AS SELECT sid, 0 AS status, createdate, createdate AS updatedate, name, dbname, "
      "NULL AS password, isntname, CASE WHEN isntname = 0 THEN 1 ELSE 0 END AS isntgroup, isntname AS isntuser, "
      "sysadmin, name AS loginname FROM main.logins");
  std::string dbName = database.empty() ? login_.defaultDatabase : database;
  auto dbid = DatabaseId(dbName);
  if (!dbid || EffectiveUid(*dbid) < 0) {
    if (!database.empty())
      throw ComError(err::ServerMessage(4060), kSource,
                     "[Microsoft][ODBC SQL Server Driver][SQL Server]Cannot open database requested in login '" +
                         dbName + "'. Login fails.");
    dbid = 1;  // the default database is gone: master, as the server does
  }
  currentDb_ = *dbid;
  spid_ = SessionRegistry::Add(serverName_, this);
}

SimSession::~SimSession() { Close(); }

void SimSession::Close() {
  if (!open_) return;
  open_ = false;
  SessionRegistry::Remove(this);
  if (inSqliteTxn_) {
    try {
      db_.Exec("ROLLBACK");
    } catch (...) {
    }
    inSqliteTxn_ = false;
  }
}

void SimSession::CheckAlive() const {
  if (broken_ || !open_)
    throw ComError(err::kServerConnection, kSource,
                   "[Microsoft][ODBC SQL Server Driver][DBNETLIB]General network error. Check your network "
                   "documentation.");
}

std::string SimSession::ProductVersion() const {
  auto st = const_cast<sqlite::Database&>(db_).Prepare(
      "SELECT value FROM server_info WHERE key = 'product_version'");
  return st.Step() ? st.Text(0) : "8.00.2039";
}

int SimSession::VersionMajor() const {
  auto st = const_cast<sqlite::Database&>(db_).Prepare("SELECT value FROM server_info WHERE key = 'version_major'");
  return st.Step() ? std::stoi(st.Text(0)) : 8;
}

std::string CatalogViewSql(const std::string& viewName, const std::string& table, int32_t dbid) {
  const std::string d = std::to_string(dbid);
  // sysobjects and syscomments with SQL Server 2000's columns in its order; the server
  // keeps status as an int, the file as the unsigned number of its bits
  if (table == "sysprotects")
    return "CREATE TEMP VIEW " + viewName +
           " AS SELECT id, uid, action, protecttype, columns, grantor FROM main.protects WHERE dbid = " + d;
  if (table == "sysindexes")  // the indexes of views; the simulator keeps no data, so no pages and no rows
    return "CREATE TEMP VIEW " + viewName +
           " AS SELECT id, status, NULL AS first, indid, NULL AS root, 0 AS minlen, keycnt, 1 AS groupid, "
           "0 AS dpages, 0 AS reserved, 0 AS used, 0 AS rowcnt, 0 AS rowmodctr, 0 AS xmaxlen, 0 AS maxirow, "
           "0 AS OrigFillFactor, 0 AS StatVersion, 0 AS reserved2, NULL AS FirstIAM, 0 AS impid, 0 AS lockflags, "
           "0 AS pgmodctr, NULL AS keys, name, NULL AS statblob, 0 AS maxlen, 0 AS rows "
           "FROM main.indexes WHERE dbid = " + d;
  if (table == "sysobjects")
    return "CREATE TEMP VIEW " + viewName +
           " AS SELECT name, id, xtype, uid, 0 AS info, "
           "CASE WHEN status > 2147483647 THEN status - 4294967296 ELSE status END AS status, "
           "schema_ver AS base_schema_ver, 0 AS replinfo, parent_obj, crdate, 0 AS ftcatid, schema_ver, "
           "0 AS stats_schema_ver, xtype AS type, 0 AS userstat, 0 AS sysstat, 0 AS indexdel, crdate AS refdate, "
           "0 AS version, 0 AS deltrig, 0 AS instrig, 0 AS updtrig, 0 AS seltrig, category, 0 AS cache "
           "FROM main.objects WHERE dbid = " + d;
  if (table == "syscomments")
    return "CREATE TEMP VIEW " + viewName +
           " AS SELECT id, number, colid, status, ctext, texttype, 0 AS language, encrypted, compressed, text "
           "FROM main.comments WHERE dbid = " + d;
  if (table == "sysusers")
    return "CREATE TEMP VIEW " + viewName +
           " AS SELECT uid, name, sid, status, hasdbaccess, issqluser, isntuser, issqlrole, "
           "CASE WHEN issqlrole = 1 THEN uid ELSE 0 END AS gid, 0 AS altuid, "
           "CASE WHEN sid IS NOT NULL AND issqlrole = 0 THEN 1 ELSE 0 END AS islogin, 0 AS isntname, "
           "0 AS isntgroup, 0 AS isaliased "
           "FROM main.users WHERE dbid = " + d;
  return "CREATE TEMP VIEW " + viewName + " AS SELECT memberuid, groupuid FROM main.members WHERE dbid = " + d;
}

void SimSession::BindViews() {
  if (viewsDb_ == currentDb_) return;
  static const char* tables[] = {"sysobjects", "syscomments", "sysusers", "sysmembers", "sysprotects", "sysindexes"};
  for (const char* t : tables) {
    db_.Exec(std::string("DROP VIEW IF EXISTS temp.") + t);
    db_.Exec(CatalogViewSql(t, t, currentDb_));
  }
  viewsDb_ = currentDb_;
}

void SimSession::BeginBatchTransaction() {
  if (!inSqliteTxn_) {
    // Deferred: a transaction that only reads holds no lock writers wait for.
    db_.Exec("BEGIN");
    inSqliteTxn_ = true;
    writeLocked_ = false;
    changesAtBegin_ = sqlite3_total_changes(db_.Handle());
  }
  db_.Exec("SAVEPOINT vx_batch");
}

void SimSession::RollbackAll() {
  // The state is reset even when the file fails: SQLite may have rolled back already.
  const bool active = inSqliteTxn_ && !sqlite3_get_autocommit(db_.Handle());
  inSqliteTxn_ = false;
  tranCount_ = 0;
  viewsDb_ = -1;  // the views are transactional too
  if (active) db_.Exec("ROLLBACK");
}

void SimSession::RecoverLostTransaction() {
  // After a full disk or a failed write SQLite rolls the whole transaction back
  // on its own; the session then starts afresh, with no transaction open.
  if (inSqliteTxn_ && sqlite3_get_autocommit(db_.Handle())) {
    inSqliteTxn_ = false;
    tranCount_ = 0;
    viewsDb_ = -1;
  }
}

void SimSession::EndBatch(bool failed) {
  RecoverLostTransaction();
  if (!inSqliteTxn_) return;
  if (failed) {
    db_.Exec("ROLLBACK TO vx_batch");
    viewsDb_ = -1;
  }
  db_.Exec("RELEASE vx_batch");
  if (tranCount_ == 0) {
    db_.Exec("COMMIT");
    inSqliteTxn_ = false;
  }
}

namespace {
// Keeps what a batch produces, for the callers that take it whole.
class Collector : public sqlserver::ResultSink {
 public:
  explicit Collector(sqlserver::BatchResult& result) : result_(result) {}
  void ResultSet(const std::vector<sqlserver::Column>& columns, sqlserver::RowCursor& rows) override {
    sqlserver::ResultSet rs;
    rs.columns = columns;
    std::vector<sqlserver::Value> row;
    while (rows.Next(row)) rs.rows.push_back(std::move(row));
    result_.resultSets.push_back(std::move(rs));
  }
  void Message(const sqlserver::ServerMessage& m) override { result_.messages.push_back(m); }

 private:
  sqlserver::BatchResult& result_;
};
}  // namespace

namespace {
// What a client is told of a fault of the simulator itself: the server's error
// for memory, otherwise a refusal; never the C++ words.
sqlserver::ServerMessage Failure(const std::exception& e) {
  if (dynamic_cast<const std::bad_alloc*>(&e))
    return {701, 17, 1, 1, "There is insufficient system memory to run this query."};
  return {kUnsupportedNumber, 16, 1, 1, "This statement is not supported by the simulated server."};
}
}  // namespace

sqlserver::BatchResult SimSession::Execute(std::string_view batch) {
  sqlserver::BatchResult result;
  Collector collector(result);
  Run(batch, {}, collector);
  return result;
}

void SimSession::Run(std::string_view batch, const std::vector<sqlserver::Parameter>& parameters,
                     sqlserver::ResultSink& result) {
  CheckAlive();
  struct Bound {
    const std::vector<sqlserver::Parameter>*& slot;
    ~Bound() { slot = nullptr; }
  } bound{parameters_};
  // Parameters sent as another type than the statement declares are converted first.
  std::vector<sqlserver::Parameter> converted;
  parameters_ = &parameters;
  if (std::any_of(parameters.begin(), parameters.end(), [](const auto& p) { return !p.sentType.empty(); })) {
    converted = parameters;
    for (sqlserver::Parameter& p : converted)
      if (auto failed = ConvertParameter(db_.Handle(), p)) {
        result.Message(*failed);
        return;
      }
    parameters_ = &converted;
  }
  std::vector<Token> tokens;
  try {
    tokens = Tokenize(batch, quotedIdentifier_);
  } catch (const LexError& e) {
    result.Message({e.number, 15, 1, e.line, e.text});
    return;
  }
  cancel_ = false;
  RecoverLostTransaction();
  // The whole batch is compiled first: a batch with a compile error runs nothing.
  Executor ex(*this, batch, std::move(tokens), result);
  try {
    ex.Parse();
  } catch (const SimError& e) {
    result.Message({e.number, e.severity, 1, std::max(e.line, 1), e.text});
    return;
  } catch (const sqlite::SqliteError& e) {
    result.Message({1222, 16, 56, 1,
                    IsBusy(e) ? "Lock request time out period exceeded."
                              : "The server file cannot be read."});
    return;
  } catch (const std::exception& e) {
    result.Message(Failure(e));
    return;
  }
  const int32_t savedDb = currentDb_, savedUid = impersonatedUid_;
  const bool savedQi = quotedIdentifier_, savedAn = ansiNulls_;
  const int savedTran = tranCount_;
  rolledBackInBatch_ = false;
  try {
    BeginBatchTransaction();
  } catch (const sqlite::SqliteError& e) {
    result.Message(cancel_ ? Cancelled()
                           : sqlserver::ServerMessage{1222, 16, 56, 1,
                                                      IsBusy(e) ? "Lock request time out period exceeded."
                                                                : "The server file cannot be read."});
    if (inSqliteTxn_ && tranCount_ == 0) {
      try { db_.Exec("ROLLBACK"); } catch (...) {}
      inSqliteTxn_ = false;
    }
    return;
  }
  bool failed = false;
  try {
    ex.Run();
  } catch (const SimError& e) {
    result.Message({e.number, e.severity, 1, std::max(e.line, 1), e.text});
    failed = true;
  } catch (const sqlite::SqliteError& e) {
    result.Message(cancel_ ? Cancelled()
                           : sqlserver::ServerMessage{1222, 16, 56, 1,
                                                      IsBusy(e) ? "Lock request time out period exceeded."
                                                                : "The server file failed."});
    failed = true;
  } catch (const ComError& e) {
    result.Message({50000, 16, 1, 1, "The statement could not be run: " + e.Description()});
    failed = true;
  } catch (const std::exception& e) {
    result.Message(Failure(e));
    failed = true;
  }
  if (failed) {
    currentDb_ = savedDb;
    impersonatedUid_ = savedUid;
    quotedIdentifier_ = savedQi;
    ansiNulls_ = savedAn;
    if (!rolledBackInBatch_) tranCount_ = savedTran;  // a ROLLBACK that ran stays done
  }
  try {
    EndBatch(failed);
  } catch (const sqlite::SqliteError& e) {
    try { RollbackAll(); } catch (...) {}
    result.Message({1222, 16, 56, 1,
                    IsBusy(e) ? "Lock request time out period exceeded."
                              : "The server file failed."});
  }
}

// ---- look-ups ----

sqlite::Statement& SimSession::PropertyStatement() {
  if (!propertyStatement_)
    propertyStatement_ = std::make_unique<sqlite::Statement>(
        db_.Prepare("SELECT xtype, shipped, quoted_ident, ansi_nulls, uid FROM main.objects WHERE dbid = ? AND id = ?"));
  propertyStatement_->Reset();
  return *propertyStatement_;
}

std::optional<int32_t> SimSession::DatabaseId(const std::string& name) const {
  auto st = const_cast<sqlite::Database&>(db_).Prepare("SELECT dbid FROM main.databases WHERE name = ?");
  st.Bind(1, name);
  if (!st.Step()) return std::nullopt;
  return static_cast<int32_t>(st.Int64(0));
}

std::string SimSession::DatabaseName(int32_t dbid) const {
  auto st = const_cast<sqlite::Database&>(db_).Prepare("SELECT name FROM main.databases WHERE dbid = ?");
  st.Bind(1, dbid);
  return st.Step() ? st.Text(0) : std::string();
}

bool SimSession::CurrentState(std::string& database, bool& noCount) {
  if (!open_) return false;
  if (currentDb_ != stateDb_) {
    try {
      stateDbName_ = DatabaseName(currentDb_);
    } catch (const sqlite::SqliteError&) {
      return false;  // e.g. the batch is being cancelled: asked again at the next result
    }
    stateDb_ = currentDb_;
  }
  database = stateDbName_;
  noCount = noCount_;
  return true;
}

int32_t SimSession::EffectiveUid(int32_t dbid) const {
  if (dbid == currentDb_ && impersonatedUid_ >= 0) return impersonatedUid_;
  if (login_.sysadmin) return 1;
  auto& db = const_cast<sqlite::Database&>(db_);
  auto st = db.Prepare("SELECT uid FROM main.users WHERE dbid = ? AND sid = ? AND issqlrole = 0 AND hasdbaccess = 1");
  st.Bind(1, dbid).Bind(2, login_.sid);
  if (st.Step()) return static_cast<int32_t>(st.Int64(0));
  auto owner = db.Prepare("SELECT 1 FROM main.databases WHERE dbid = ? AND sid = ?");
  owner.Bind(1, dbid).Bind(2, login_.sid);
  if (owner.Step()) return 1;
  auto guest = db.Prepare("SELECT 1 FROM main.users WHERE dbid = ? AND uid = 2 AND hasdbaccess = 1");
  guest.Bind(1, dbid);
  if (guest.Step()) return 2;
  return -1;
}

bool SimSession::IsMember(int32_t dbid, int32_t uid, const std::string& role) const {
  auto roleUid = UserUid(dbid, role);
  if (!roleUid) return false;
  if (*roleUid == 0) return true;  // public
  if (uid == 1 && *roleUid == 16384) return true;  // dbo is always db_owner
  auto st = const_cast<sqlite::Database&>(db_).Prepare(
      "SELECT 1 FROM main.members WHERE dbid = ? AND memberuid = ? AND groupuid = ?");
  st.Bind(1, dbid).Bind(2, uid).Bind(3, *roleUid);
  return st.Step();
}

std::optional<int32_t> SimSession::UserUid(int32_t dbid, const std::string& name) const {
  auto st = const_cast<sqlite::Database&>(db_).Prepare("SELECT uid FROM main.users WHERE dbid = ? AND name = ?");
  st.Bind(1, dbid).Bind(2, name);
  if (!st.Step()) return std::nullopt;
  return static_cast<int32_t>(st.Int64(0));
}

std::string SimSession::UserName(int32_t dbid, int32_t uid) const {
  auto st = const_cast<sqlite::Database&>(db_).Prepare("SELECT name FROM main.users WHERE dbid = ? AND uid = ?");
  st.Bind(1, dbid).Bind(2, uid);
  return st.Step() ? st.Text(0) : std::string();
}

std::optional<ObjectRow> SimSession::ObjectById(int32_t dbid, int32_t id) const {
  auto st = const_cast<sqlite::Database&>(db_).Prepare(
      "SELECT id, name, xtype, uid, parent_obj, shipped FROM main.objects WHERE dbid = ? AND id = ?");
  st.Bind(1, dbid).Bind(2, id);
  if (!st.Step()) return std::nullopt;
  return ObjectRow{st.Int(0), st.Text(1), st.Text(2), st.Int(3), st.Int(4), st.Int(5) != 0};
}

std::optional<ObjectRow> SimSession::ResolveName(const std::vector<std::string>& parts) const {
  if (parts.empty() || parts.size() > 3) return std::nullopt;
  int32_t dbid = currentDb_;
  if (parts.size() == 3 && !parts[0].empty()) {
    auto d = DatabaseId(parts[0]);
    if (!d) return std::nullopt;
    dbid = *d;
  }
  const std::string& name = parts.back();
  std::vector<int32_t> owners;
  if (parts.size() >= 2 && !parts[parts.size() - 2].empty()) {
    auto uid = UserUid(dbid, parts[parts.size() - 2]);
    if (!uid) return std::nullopt;
    owners.push_back(*uid);
  } else {
    int32_t me = EffectiveUid(dbid);
    if (me >= 0 && me != 1) owners.push_back(me);
    owners.push_back(1);
  }
  auto st = const_cast<sqlite::Database&>(db_).Prepare(
      "SELECT id, name, xtype, uid, parent_obj, shipped FROM main.objects WHERE dbid = ? AND name = ? AND uid = ?");
  for (int32_t uid : owners) {
    st.Reset();
    st.Bind(1, dbid).Bind(2, name).Bind(3, uid);
    if (st.Step()) return ObjectRow{st.Int(0), st.Text(1), st.Text(2), st.Int(3), st.Int(4), st.Int(5) != 0};
  }
  return std::nullopt;
}

}  // namespace vx::sqlsim
