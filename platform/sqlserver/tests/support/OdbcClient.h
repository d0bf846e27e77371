#pragma once
// One ODBC connection and statement of FreeTDS's driver (called directly, by
// its path) to a served server.
#include <sql.h>
#include <sqlext.h>

#include <string>
#include <utility>

namespace tds_test {

inline constexpr const char* kFreeTdsDriver = "/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so";

class OdbcClient {
 public:
  OdbcClient(int port, const std::string& login, const std::string& password, const std::string& database) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
    SQLSetConnectAttr(dbc_, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(5), 0);
    const std::string text = std::string("DRIVER=") + kFreeTdsDriver + ";SERVER=127.0.0.1;PORT=" + std::to_string(port) +
                             ";UID=" + login + ";PWD=" + password + ";DATABASE=" + database +
                             ";TDS_Version=7.1;ClientCharset=UTF-8;";
    connected_ = SQL_SUCCEEDED(SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)text.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                                SQL_DRIVER_NOPROMPT));
    SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_);
  }
  ~OdbcClient() {
    SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }
  OdbcClient(const OdbcClient&) = delete;
  OdbcClient& operator=(const OdbcClient&) = delete;
  bool Connected() const { return connected_; }
  SQLHSTMT Stmt() const { return stmt_; }
  SQLHDBC Dbc() const { return dbc_; }
  // Runs a batch; its result sets are read to their end. Returns the call's code.
  SQLRETURN Run(const std::string& batch) {
    SQLFreeStmt(stmt_, SQL_CLOSE);
    return SQLExecDirect(stmt_, (SQLCHAR*)batch.c_str(), SQL_NTS);
  }
  // The first diagnostic of the statement: native number and text.
  std::pair<SQLINTEGER, std::string> Diagnostic() {
    SQLCHAR state[6] = {}, text[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetDiagRec(SQL_HANDLE_STMT, stmt_, 1, state, &native, text, sizeof text, &length)))
      return {0, ""};
    return {native, reinterpret_cast<char*>(text)};
  }
  // The text of column 1 of the current row.
  std::string Text(SQLUSMALLINT column = 1) {
    char buffer[4096] = {};
    SQLLEN indicator = 0;
    SQLGetData(stmt_, column, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
    return indicator == SQL_NULL_DATA ? "NULL" : buffer;
  }

 private:
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  SQLHSTMT stmt_ = SQL_NULL_HSTMT;
  bool connected_ = false;
};

}  // namespace tds_test
