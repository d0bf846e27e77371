// The values of a procedure call's parameters converted to the types the
// statement declares them with (sp_executesql), as the server converts them:
// text cut to its length and to the varchar code page, dates read from text, and
// error 8114 for a value the declared type cannot hold.
#include "SimParameters.h"

#include <cstdlib>
#include <cstring>

#include "Lexer.h"
#include "SimTypes.h"

#include <sqlcipher/sqlite3.h>

namespace vx::sqlsim {

namespace {

using sqlserver::Value;

std::string Base(const std::string& type) {
  std::string b = Lower(type.substr(0, type.find('(')));
  while (!b.empty() && b.back() == ' ') b.pop_back();
  return b;
}

bool IsTextBase(const std::string& b) {
  return b == "varchar" || b == "char" || b == "nvarchar" || b == "nchar" || b == "text" || b == "ntext";
}

// What vx_convert is told of the value (SimScalars.cpp): 'D' a datetime, 'V' or
// 'N' text, the width of an integer.
std::string SourceHint(const std::string& sentBase) {
  if (sentBase == "datetime" || sentBase == "smalldatetime") return "D";
  if (sentBase == "tinyint") return "1";
  if (sentBase == "smallint") return "2";
  if (sentBase == "bigint") return "8";
  if (sentBase == "int" || sentBase == "bit") return "4";
  return sentBase.size() > 1 && sentBase[0] == 'n' ? "N" : "V";
}

}  // namespace

std::string DeclaredType(const std::string& declared) {
  std::string t;
  for (char c : declared)
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') t += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::string b = t.substr(0, t.find('('));
  const std::string length = t.size() > b.size() ? t.substr(b.size()) : std::string();
  static const char* const kPlain[] = {"int", "smallint", "tinyint", "bigint", "bit", "real",
                                       "datetime", "smalldatetime", "text", "ntext", "image"};
  for (const char* p : kPlain)
    if (t == p) return t;
  if (t == "integer") return "int";
  if (t == "float" || t == "float(53)") return "float";
  if (t == "sysname") return "nvarchar(128)";
  if (b == "char" || b == "varchar" || b == "nchar" || b == "nvarchar" || b == "binary" || b == "varbinary") {
    if (length.empty()) return b + "(1)";  // declared without a length: one character
    if (length.size() < 3 || length.back() != ')') return {};
    char* end = nullptr;
    const long n = std::strtol(length.c_str() + 1, &end, 10);
    const long most = b[0] == 'n' ? 4000 : 8000;
    if (end != length.c_str() + length.size() - 1 || n < 1 || n > most) return {};
    return b + "(" + std::to_string(n) + ")";
  }
  return {};
}

std::optional<sqlserver::ServerMessage> ConvertParameter(sqlite3* h, sqlserver::Parameter& p) {
  if (p.sentType.empty()) return std::nullopt;
  const std::string declared = DeclaredType(p.sqlType);
  auto refuse = [&](const std::string& what) {
    return sqlserver::ServerMessage{kUnsupportedNumber, 16, 1, 1, what + " is not supported by the simulated server."};
  };
  if (declared.empty()) return refuse("A parameter declared as " + p.sqlType);
  const std::string sent = Base(p.sentType), target = Base(declared);
  p.sqlType = declared;
  if (p.value.IsNull() || p.sentType == declared) return std::nullopt;
  const bool textTarget = target == "text" || target == "ntext" || target == "image";
  const bool binarySent = IsBinaryType(p.sentType), binaryTarget = IsBinaryType(declared);
  // conversions the server does not make implicitly, or whose rules the simulator does not keep
  if (binarySent != binaryTarget || (textTarget && !IsTextBase(sent) && !binarySent) ||
      ((sent == "datetime" || sent == "smalldatetime") && target != "datetime" && target != "smalldatetime" &&
       !IsTextBase(target)) ||
      ((target == "datetime" || target == "smalldatetime") && !IsTextBase(sent) && sent != "datetime" &&
       sent != "smalldatetime"))
    return refuse("Converting a parameter sent as " + sent + " to " + declared);
  if (textTarget) return std::nullopt;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(h, "SELECT vx_convert(?1, ?2, NULL, ?3)", -1, &st, nullptr) != SQLITE_OK)
    return refuse("Converting a parameter");
  struct Finalize {
    sqlite3_stmt* s;
    ~Finalize() { sqlite3_finalize(s); }
  } finalize{st};
  sqlite3_bind_text(st, 1, declared.data(), static_cast<int>(declared.size()), SQLITE_TRANSIENT);
  const std::string hint = SourceHint(sent);
  sqlite3_bind_text(st, 3, hint.data(), static_cast<int>(hint.size()), SQLITE_TRANSIENT);
  switch (p.value.GetKind()) {
    case Value::Kind::Integer: sqlite3_bind_int64(st, 2, p.value.AsInt64()); break;
    case Value::Kind::Float: sqlite3_bind_double(st, 2, p.value.AsDouble()); break;
    case Value::Kind::DateTime: sqlite3_bind_double(st, 2, p.value.AsDate()); break;
    default: {
      const std::string v = p.value.AsText();
      if (binarySent) sqlite3_bind_blob(st, 2, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
      else sqlite3_bind_text(st, 2, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    }
  }
  if (sqlite3_step(st) != SQLITE_ROW) {
    const std::string m = sqlite3_errmsg(h);
    if (m.rfind("vx:" + std::to_string(kUnsupportedNumber) + ":", 0) == 0)
      return sqlserver::ServerMessage{kUnsupportedNumber, 16, 1, 1, m.substr(m.find(':', 3) + 1)};
    return sqlserver::ServerMessage{8114, 16, 5, 1, "Error converting data type " + sent + " to " + target + "."};
  }
  switch (sqlite3_column_type(st, 0)) {
    case SQLITE_INTEGER: p.value = Value::Integer(sqlite3_column_int64(st, 0)); break;
    case SQLITE_FLOAT:
      p.value = target == "datetime" || target == "smalldatetime" ? Value::DateTime(sqlite3_column_double(st, 0))
                                                                  : Value::Float(sqlite3_column_double(st, 0));
      break;
    default: {
      const char* b = static_cast<const char*>(sqlite3_column_blob(st, 0));
      std::string v(b ? b : "", static_cast<size_t>(sqlite3_column_bytes(st, 0)));
      // an integer too long for the text: CAST writes '*', a parameter's conversion is not known here
      if (v == "*" && p.value.GetKind() == Value::Kind::Integer)
        return refuse("Converting a parameter's number to " + declared + ", too short for it,");
      p.value = Value::Text(std::move(v));
    }
  }
  return std::nullopt;
}

}  // namespace vx::sqlsim
