#pragma once
// One session on a server over ODBC: one connection handle, autocommit on
// (transactions are T-SQL text), every batch through SQLExecDirect.
#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

#include "sqlserver/Session.h"
#include "sqlserver_odbc/OdbcSessionFactory.h"

namespace vx::sqlserver {

class OdbcSession : public Session {
 public:
  // Connects; raises ComError as SessionFactory::Open documents.
  OdbcSession(std::string serverName, const std::string& connectionText, const OdbcOptions& options);
  ~OdbcSession() override;

  BatchResult Execute(std::string_view batch) override;
  bool IsAlive() const override { return dbc_ != SQL_NULL_HDBC; }
  const std::string& ServerName() const override { return serverName_; }
  void Close() override;
  std::string ServerVersion() const override { return version_; }

 private:
  struct Diagnostic {
    std::string state;
    int32_t native = 0;
    std::string text;
  };
  static std::vector<Diagnostic> Diagnostics(SQLSMALLINT type, SQLHANDLE handle);
  // Keeps a statement's diagnostics as messages; true when one of them is a lost connection.
  bool TakeMessages(SQLHSTMT stmt, BatchResult& result, std::string& lost);
  // Reads one result set; false when the connection was lost on the way (`lost` says how).
  bool ReadRows(SQLHSTMT stmt, SQLSMALLINT columns, BatchResult& result, std::string& lost);
  [[noreturn]] void Lost(const std::string& why);

  std::string serverName_;
  std::string version_;
  int queryTimeout_ = 0;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
};

}  // namespace vx::sqlserver
