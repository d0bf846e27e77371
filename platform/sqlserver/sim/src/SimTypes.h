#pragma once
// Types of the server that SQLite does not keep: see SimTypes.cpp.
#include <string>
#include <string_view>

#include <sqlcipher/sqlite3.h>

namespace vx::sqlsim {

// The server's type of a column of the server file's tables ("objects", "crdate"
// -> "datetime"), "" for a column the catalogue views do not show.
std::string CatalogColumnType(std::string_view table, std::string_view column);
// A date as the server reads it from text ("2024-05-01 13:45:10.500",
// "20240501", "05/01/2024 13:45"); false when the text is no date, with
// `outOfRange` set when it is written as one but names no day or time there is.
bool TextToServerDate(std::string_view text, double& ole, bool* outOfRange = nullptr);

std::string Lower(std::string_view s);
// Ends a SQL function with the server's error `number` and its text.
void Fail(sqlite3_context* ctx, int number, const std::string& text);
// A value's text as UTF-16 code units, as the server counts characters.
std::u16string Units(sqlite3_value* v);
// The server's operators, conversions and string functions (SimScalars.cpp,
// SimStrings.cpp) on a session's connection.
void RegisterScalars(sqlite3* h, void* session);
void RegisterStrings(sqlite3* h, void* session);
// The aggregate that holds a subquery used as a value to one row (SimChecks.cpp).
void RegisterChecks(sqlite3* h, void* session);

// The number of the error that refuses what the simulator does not do ("... is
// not supported by the simulated server.").
inline constexpr int kUnsupportedNumber = 50000;
// The server's type of an expression: its base type and length (of a string or
// binary) or precision and scale (of a decimal). Unknown where the simulator
// does not type it; Null for the constant NULL, which takes the type it meets.
struct SqlType {
  enum Base : unsigned char {
    Unknown, Null, Binary, VarBinary, Char, VarChar, NChar, NVarChar, Image, Text, NText, Bit, TinyInt,
    SmallInt, Int, BigInt, SmallMoney, Money, Decimal, Real, Float, SmallDateTime, DateTime, Other
  };
  Base base = Unknown;
  int length = 0;  // characters or bytes; the precision of a decimal
  int scale = 0;
  bool Known() const { return base != Unknown && base != Null; }
  bool IsDate() const { return base == DateTime || base == SmallDateTime; }
  bool IsString() const { return (base >= Char && base <= NVarChar) || base == Text || base == NText; }
  bool IsInteger() const { return base >= Bit && base <= BigInt; }
  bool IsNumber() const { return base >= Bit && base <= Float; }
  // 1 tinyint, 2 smallint, 3 int, 4 bigint; 0 for other types.
  int IntegerCode() const { return base >= TinyInt && base <= BigInt ? base - TinyInt + 1 : 0; }
  // "varchar(10)", "int", "" when unknown.
  std::string Name() const;
};
// The type named by a declaration ("varchar(10)", "int", "decimal(5, 2)").
SqlType ParseSqlType(std::string_view declared);
// The type two values meet in by the server's precedence (datetime over float
// over decimal ... over varchar over binary); Unknown when either is.
SqlType HigherType(const SqlType& a, const SqlType& b);

// True for "binary(n)", "varbinary(n)" and "image".
bool IsBinaryType(std::string_view type);

}  // namespace vx::sqlsim
