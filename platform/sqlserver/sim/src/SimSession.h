#pragma once
// One session on a simulated server: its own connection to the server file and
// the session state SQL Server keeps (current database, SET options, SETUSER
// identity, open transaction). Batches are lexed, parsed and run statement by
// statement; a batch that fails is rolled back as a whole.
#include <atomic>
#include <chrono>
#include <memory>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Lexer.h"
#include "SimError.h"
#include "sqlite/Database.h"
#include "sqlserver/Session.h"

namespace vx::sqlsim {

struct LoginRow {
  int64_t sid = 0;
  std::string name;
  bool sysadmin = false;
  bool windows = false;
  std::string defaultDatabase;
};

struct ObjectRow {
  int32_t id = 0;
  std::string name;
  std::string xtype;
  int32_t uid = 0;
  int32_t parent = 0;
  bool shipped = false;
};

// The session's view `viewName` of the catalogue table `table` (lower case: sysobjects,
// syscomments, sysusers, sysmembers, sysprotects, sysindexes) of database `dbid`.
std::string CatalogViewSql(const std::string& viewName, const std::string& table, int32_t dbid);

class SimSession : public sqlserver::Session {
 public:
  // Opens a session; raises ComError as SessionFactory::Open documents.
  SimSession(std::string serverName, const std::string& path, const sqlserver::Credentials& credentials,
             const std::string& database, bool internalAdmin = false);
  ~SimSession() override;

  sqlserver::BatchResult Execute(std::string_view batch) override;
  // Result sets are streamed from SQLite; parameters are bound, never pasted into the text.
  void Run(std::string_view batch, const std::vector<sqlserver::Parameter>& parameters,
           sqlserver::ResultSink& sink) override;
  bool IsAlive() const override { return !broken_ && open_; }
  const std::string& ServerName() const override { return serverName_; }
  void Close() override;

  void Break() { broken_ = true; }
  // Stops the batch running on another thread (or about to start) between two
  // statements or inside a query; it fails with 3980 and is rolled back.
  void Cancel() override;
  bool CancelRequested() const { return cancel_; }
  static sqlserver::ServerMessage Cancelled();
  // Takes the server file's write lock before the first write of a transaction (a
  // transaction that has written nothing holds none); waits as SET LOCK_TIMEOUT says.
  void NeedWrite();
  void SetLockTimeout(int ms) { lockTimeoutMs_ = ms; }
  bool CurrentState(std::string& database, bool& noCount) override;

  // ---- used by the statement handlers and the SQL functions ----
  sqlite::Database& Db() { return db_; }
  int32_t CurrentDb() const { return currentDb_; }
  const LoginRow& Login() const { return login_; }
  // The database user the session acts as in `dbid` (SETUSER identity in the
  // current database), or -1 without access.
  int32_t EffectiveUid(int32_t dbid) const;
  bool IsMember(int32_t dbid, int32_t uid, const std::string& role) const;
  bool IsSysadminNow() const { return login_.sysadmin && impersonatedUid_ < 0; }
  std::optional<ObjectRow> ObjectById(int32_t dbid, int32_t id) const;
  // Resolves "[owner].[name]", "owner.name" or "name" in the current database.
  std::optional<ObjectRow> ResolveName(const std::vector<std::string>& parts) const;
  std::optional<int32_t> UserUid(int32_t dbid, const std::string& name) const;
  std::string UserName(int32_t dbid, int32_t uid) const;
  std::optional<int32_t> DatabaseId(const std::string& name) const;
  std::string DatabaseName(int32_t dbid) const;
  int TranCount() const { return tranCount_; }
  // The session's server process id (@@SPID).
  int Spid() const { return spid_; }
  // @@OPTIONS: ARITHABORT (64), ANSI_NULLS (32), QUOTED_IDENTIFIER (256), NOCOUNT (512).
  int Options() const {
    return (arithAbort_ ? 64 : 0) | (ansiNulls_ ? 32 : 0) | (quotedIdentifier_ ? 256 : 0) | (noCount_ ? 512 : 0);
  }
  // The prepared look-up of OBJECTPROPERTY (xtype, shipped, quoted_ident, ansi_nulls, uid by dbid, id).
  sqlite::Statement& PropertyStatement();
  std::string ProductVersion() const;
  int VersionMajor() const;

 private:
  friend class Executor;
  void BindViews();
  void BeginBatchTransaction();
  static int BusyWait(void* self, int count);
  void EndBatch(bool failed);
  void RollbackAll();
  void RecoverLostTransaction();
  void CheckAlive() const;
  void RegisterFunctions();

  std::string serverName_;
  sqlite::Database db_;
  LoginRow login_;
  int32_t currentDb_ = 1;
  int32_t impersonatedUid_ = -1;
  bool quotedIdentifier_ = true;
  bool ansiNulls_ = true;
  bool noCount_ = false;
  // What an index on a view needs besides the two above (ODBC's defaults; a client may change them).
  bool arithAbort_ = false;
  bool ansiPadding_ = true;
  bool numericRoundAbort_ = false;
  int tranCount_ = 0;
  bool inSqliteTxn_ = false;
  bool rolledBackInBatch_ = false;  // a ROLLBACK ran in the current batch
  int32_t viewsDb_ = -1;
  std::atomic<bool> broken_{false};
  const std::vector<sqlserver::Parameter>* parameters_ = nullptr;  // of the batch being run
  std::atomic<bool> cancel_{false};
  bool writeLocked_ = false;  // the SQLite transaction holds the write lock
  int changesAtBegin_ = 0;    // rows changed on the connection when it began
  std::optional<int> lockTimeoutMs_;
  std::chrono::steady_clock::time_point waitStarted_;
  int32_t stateDb_ = -1;  // the database CurrentState last named, and its name
  std::string stateDbName_;
  std::unique_ptr<sqlite::Statement> propertyStatement_;  // finalized before db_ closes
  bool open_ = true;
  int spid_ = 51;
  int nestedStatements_ = 0;  // EXEC sp_executesql running inside a batch
};

}  // namespace vx::sqlsim
