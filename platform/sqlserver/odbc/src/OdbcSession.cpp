#include "OdbcSession.h"

#include <sqlucode.h>

#include <cmath>
#include <cstdlib>

#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"
#include "sqlserver/ServerErrors.h"
#include "sqlserver/Utf16.h"

namespace vx::sqlserver {

namespace {
constexpr const char* kSource = "OdbcSession";

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the W API of unixODBC takes UTF-16");

SQLWCHAR* W(std::u16string& s) { return reinterpret_cast<SQLWCHAR*>(s.data()); }

bool Ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// One environment for the process (ODBC 3, no pooling).
SQLHENV Environment() {
  static SQLHENV env = []() -> SQLHENV {
    SQLHENV e = SQL_NULL_HENV;
    if (!Ok(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &e))) return nullptr;
    SQLSetEnvAttr(e, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    return e;
  }();
  return env;
}

// "[FreeTDS][SQL Server]text" -> "text"
std::string StripPrefixes(std::string text) {
  while (!text.empty() && text[0] == '[') {
    const size_t e = text.find(']');
    if (e == std::string::npos) break;
    text.erase(0, e + 1);
  }
  return text;
}

// SQLSTATEs of a connection that is gone or a batch whose outcome is unknown, and
// FreeTDS's own numbers for a socket that failed or closed under it (it reports
// some of those with a general or even an informational SQLSTATE).
bool IsLost(const std::string& state, int32_t native) {
  if (state == "08S01" || state == "08003" || state == "08007" || state == "HYT00" || state == "HYT01") return true;
  switch (native) {
    case 20002: case 20003: case 20004: case 20006: case 20017: return true;
    default: return false;
  }
}

Value::Kind KindOf(SQLSMALLINT type) {
  switch (type) {
    case SQL_BIT: case SQL_TINYINT: case SQL_SMALLINT: case SQL_INTEGER: case SQL_BIGINT:
      return Value::Kind::Integer;
    case SQL_REAL: case SQL_FLOAT: case SQL_DOUBLE: case SQL_NUMERIC: case SQL_DECIMAL:
      return Value::Kind::Float;
    case SQL_TYPE_TIMESTAMP: case SQL_TIMESTAMP: case SQL_TYPE_DATE:
      return Value::Kind::DateTime;
    default:
      return Value::Kind::Text;
  }
}
}  // namespace

std::vector<OdbcSession::Diagnostic> OdbcSession::Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  std::vector<Diagnostic> out;
  for (SQLSMALLINT i = 1;; ++i) {
    std::u16string state(6, u'\0'), text(1024, u'\0');
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLGetDiagRecW(type, handle, i, W(state), &native, W(text),
                                  static_cast<SQLSMALLINT>(text.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(text.size())) {
      text.assign(static_cast<size_t>(length) + 1, u'\0');
      rc = SQLGetDiagRecW(type, handle, i, W(state), &native, W(text), static_cast<SQLSMALLINT>(text.size()), &length);
    }
    if (!Ok(rc)) break;
    text.resize(std::min<size_t>(static_cast<size_t>(length), text.size()));
    state.resize(5);
    out.push_back({Utf16ToUtf8(state), native, StripPrefixes(Utf16ToUtf8(text))});
  }
  return out;
}

OdbcSession::OdbcSession(std::string serverName, const std::string& connectionText, const OdbcOptions& options)
    : serverName_(std::move(serverName)), queryTimeout_(options.queryTimeoutSeconds) {
  SQLHENV env = Environment();
  if (env == SQL_NULL_HENV || !Ok(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc_)))
    throw ComError(err::kServerUnreachable, kSource, "[ODBC]The ODBC driver manager cannot be used.");
  SQLSetConnectAttr(dbc_, SQL_ATTR_LOGIN_TIMEOUT,
                    reinterpret_cast<SQLPOINTER>(static_cast<SQLLEN>(options.loginTimeoutSeconds)), 0);
  std::u16string text = Utf8ToUtf16(connectionText);
  std::u16string out(1024, u'\0');
  SQLSMALLINT outLength = 0;
  const SQLRETURN rc = SQLDriverConnectW(dbc_, nullptr, W(text), static_cast<SQLSMALLINT>(text.size()), W(out),
                                         static_cast<SQLSMALLINT>(out.size()), &outLength, SQL_DRIVER_NOPROMPT);
  if (!Ok(rc)) {
    const auto diags = Diagnostics(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    dbc_ = SQL_NULL_HDBC;
    std::string why = diags.empty() ? "SQL Server does not exist or access denied." : diags.front().text;
    for (const auto& d : diags)
      if (d.native == 4060) throw ComError(err::ServerMessage(4060), kSource, "[SQL Server]" + d.text);
    for (const auto& d : diags)
      if (d.native == 18456 || d.native == 18452 || d.state == "28000")
        throw ComError(err::kServerConnection, kSource, "[SQL Server]" + d.text);
    for (const auto& d : diags) why += d.text == why ? "" : " " + d.text;
    throw ComError(err::kServerUnreachable, kSource, "[DBNETLIB]" + why);
  }
  std::u16string version(64, u'\0');
  SQLSMALLINT length = 0;
  if (Ok(SQLGetInfoW(dbc_, SQL_DBMS_VER, version.data(), static_cast<SQLSMALLINT>(version.size() * 2), &length))) {
    version.resize(static_cast<size_t>(length) / 2);
    version_ = Utf16ToUtf8(version);
    // "08.00.2039" -> "8.00.2039"
    while (version_.size() > 1 && version_[0] == '0' && version_[1] != '.') version_.erase(0, 1);
  }
}

OdbcSession::~OdbcSession() { Close(); }

void OdbcSession::Close() {
  if (dbc_ == SQL_NULL_HDBC) return;
  SQLDisconnect(dbc_);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
  dbc_ = SQL_NULL_HDBC;
}

void OdbcSession::Lost(const std::string& why) {
  Close();
  throw ComError(err::kServerConnection, kSource,
                 "[DBNETLIB]General network error. The connection to the server was lost. " + why);
}

bool OdbcSession::TakeMessages(SQLHSTMT stmt, BatchResult& result, std::string& lost) {
  // A socket the server closed may come back as a bare "Unknown error": the
  // driver knows the connection is dead all the same.
  SQLUINTEGER dead = SQL_CD_FALSE;
  if (Ok(SQLGetConnectAttr(dbc_, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) && dead == SQL_CD_TRUE) {
    const auto diags = Diagnostics(SQL_HANDLE_STMT, stmt);
    lost = diags.empty() ? "The connection is dead." : diags.front().state + " " + diags.front().text;
    return true;
  }
  for (auto& d : Diagnostics(SQL_HANDLE_STMT, stmt)) {
    if (IsLost(d.state, d.native)) {
      lost = d.state + " (" + std::to_string(d.native) + ") " + d.text;
      return true;
    }
    ServerMessage m;
    m.number = d.native;
    // The driver reports no severity: SQLSTATE class 01 is information, the rest errors.
    m.severity = d.state.rfind("01", 0) == 0 ? (d.native == 0 ? 0 : 10) : 16;
    m.text = std::move(d.text);
    if (m.IsError() && m.number == 0) m.number = 50000;
    result.messages.push_back(std::move(m));
  }
  return false;
}

bool OdbcSession::ReadRows(SQLHSTMT stmt, SQLSMALLINT columns, BatchResult& result, std::string& lost) {
  ResultSet rs;
  for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
    std::u16string name(256, u'\0');
    SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    SQLDescribeColW(stmt, c, W(name), static_cast<SQLSMALLINT>(name.size()), &nameLength, &type, &size, &digits,
                    &nullable);
    name.resize(std::min<size_t>(static_cast<size_t>(nameLength), name.size()));
    rs.columns.push_back({Utf16ToUtf8(name), KindOf(type)});
  }
  std::u16string buffer(4096, u'\0');
  for (;;) {
    const SQLRETURN rc = SQLFetch(stmt);
    if (rc == SQL_NO_DATA) break;
    if (!Ok(rc)) {
      if (TakeMessages(stmt, result, lost)) return false;
      break;
    }
    std::vector<Value> row;
    row.reserve(rs.columns.size());
    for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
      SQLLEN indicator = 0;
      switch (rs.columns[c - 1].kind) {
        case Value::Kind::Integer: {
          SQLBIGINT v = 0;
          SQLGetData(stmt, c, SQL_C_SBIGINT, &v, sizeof v, &indicator);
          row.push_back(indicator == SQL_NULL_DATA ? Value::Null() : Value::Integer(v));
          break;
        }
        case Value::Kind::Float: {
          double v = 0;
          SQLGetData(stmt, c, SQL_C_DOUBLE, &v, sizeof v, &indicator);
          row.push_back(indicator == SQL_NULL_DATA ? Value::Null() : Value::Float(v));
          break;
        }
        case Value::Kind::DateTime: {
          SQL_TIMESTAMP_STRUCT t{};
          SQLGetData(stmt, c, SQL_C_TYPE_TIMESTAMP, &t, sizeof t, &indicator);
          if (indicator == SQL_NULL_DATA) {
            row.push_back(Value::Null());
            break;
          }
          DateParts p{t.year, t.month, t.day, t.hour, t.minute, t.second};
          OleDate d = 0;
          DatePartsToOle(p, d);
          const double ms = t.fraction / 1e6 / 86400000.0;
          row.push_back(Value::DateTime(d >= 0 ? d + ms : d - ms));
          break;
        }
        default: {
          // Long texts come in pieces: each call gives what the buffer holds.
          std::u16string text;
          bool isNull = false;
          for (;;) {
            const SQLRETURN g = SQLGetData(stmt, c, SQL_C_WCHAR, buffer.data(),
                                           static_cast<SQLLEN>(buffer.size() * 2), &indicator);
            if (g == SQL_NO_DATA) break;
            if (!Ok(g)) {
              if (TakeMessages(stmt, result, lost)) return false;
              break;
            }
            if (indicator == SQL_NULL_DATA) {
              isNull = true;
              break;
            }
            const size_t room = buffer.size() - 1;
            const size_t got = indicator == SQL_NO_TOTAL || static_cast<size_t>(indicator) / 2 > room
                                   ? room
                                   : static_cast<size_t>(indicator) / 2;
            text.append(buffer.data(), got);
            if (g == SQL_SUCCESS) break;
          }
          row.push_back(isNull ? Value::Null() : Value::Text(Utf16ToUtf8(text)));
        }
      }
    }
    rs.rows.push_back(std::move(row));
  }
  result.resultSets.push_back(std::move(rs));
  return true;
}

BatchResult OdbcSession::Execute(std::string_view batch) {
  if (dbc_ == SQL_NULL_HDBC) Lost("The session is closed.");
  // The driver ends a batch's text at a NUL: what follows would be lost unseen.
  if (batch.find('\0') != std::string_view::npos) {
    BatchResult refused;
    refused.messages.push_back(
        {50000, 16, 1, 1, "The batch holds a NUL character, where the ODBC driver would end it: it was not sent."});
    return refused;
  }
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  if (!Ok(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt))) {
    const auto diags = Diagnostics(SQL_HANDLE_DBC, dbc_);
    Lost(diags.empty() ? std::string() : diags.front().text);
  }
  struct Guard {
    SQLHSTMT& s;
    ~Guard() {
      if (s != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, s);
    }
  } guard{stmt};
  if (queryTimeout_ > 0)
    SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(static_cast<SQLLEN>(queryTimeout_)), 0);
  BatchResult result;
  std::string lost;
  std::u16string text = Utf8ToUtf16(batch);
  SQLRETURN rc = SQLExecDirectW(stmt, W(text), static_cast<SQLINTEGER>(text.size()));
  // A driver that answers every call with an error must not hold us forever.
  for (int errorsInARow = 0; errorsInARow < 100000; errorsInARow = rc == SQL_ERROR ? errorsInARow + 1 : 0) {
    if (rc == SQL_SUCCESS_WITH_INFO || rc == SQL_ERROR) {
      const size_t before = result.messages.size();
      if (TakeMessages(stmt, result, lost)) break;
      if (rc == SQL_ERROR && result.messages.size() == before) break;  // nothing more to learn
    } else if (rc == SQL_INVALID_HANDLE) {
      lost = "Invalid handle.";
      break;
    }
    if (Ok(rc)) {
      SQLSMALLINT columns = 0;
      if (Ok(SQLNumResultCols(stmt, &columns)) && columns > 0 && !ReadRows(stmt, columns, result, lost)) break;
    }
    rc = SQLMoreResults(stmt);
    if (rc == SQL_NO_DATA) break;
  }
  if (!lost.empty()) {
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    stmt = SQL_NULL_HSTMT;
    Lost(lost);
  }
  return result;
}

}  // namespace vx::sqlserver
