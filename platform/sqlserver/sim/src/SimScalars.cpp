// The server's scalar semantics that SQLite does not share, registered as SQLite
// functions: '+' and '-' over strings, binaries and dates, CAST and CONVERT with
// the server's byte order, lengths, date styles and conversion errors, and the
// string functions that count UTF-16 code units and compare case-insensitively.
//
// Dates are kept as automation dates (day 0 is 30 December 1899); the server
// counts from 1 January 1900, two days later, whenever a date meets a number.
// Errors are raised as "vx:<number>:<text>" and become that server message.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Lexer.h"
#include "SimCollation.h"
#include "SimGuard.h"
#include "SimTypes.h"
#include "sqlserver/Utf16.h"

#include <sqlcipher/sqlite3.h>

namespace vx::sqlsim {

void Fail(sqlite3_context* ctx, int number, const std::string& text) {
  const std::string m = "vx:" + std::to_string(number) + ":" + text;
  sqlite3_result_error(ctx, m.c_str(), static_cast<int>(m.size()));
}

namespace {

constexpr double kServerEpoch = 2.0;  // automation date of 1900-01-01

// The server's datetimes run from 1753-01-01 to 9999-12-31 23:59:59.997.
bool InDateRange(double ole) { return ole >= -53688.0 && ole < 2958466.0; }

std::string Text(sqlite3_value* v) {
  const unsigned char* t = sqlite3_value_text(v);
  return t ? std::string(reinterpret_cast<const char*>(t), static_cast<size_t>(sqlite3_value_bytes(v))) : std::string();
}

std::string Bytes(sqlite3_value* v) {
  const void* p = sqlite3_value_blob(v);
  return std::string(static_cast<const char*>(p ? p : ""), static_cast<size_t>(sqlite3_value_bytes(v)));
}

void Unsupported(sqlite3_context* ctx, const std::string& what) {
  Fail(ctx, kUnsupportedNumber, what + " is not supported by the simulated server.");
}

void ResultText(sqlite3_context* ctx, const std::string& s) {
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

void ResultBlob(sqlite3_context* ctx, const std::string& s) {
  sqlite3_result_blob(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

bool IsNumber(int type) { return type == SQLITE_INTEGER || type == SQLITE_FLOAT; }
bool FitsInt(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

// Whether v is in the range of integer type `code` (1 tinyint, 2 smallint, 3 int, 4 bigint).
bool FitsCode(int64_t v, int code) {
  switch (code) {
    case 1: return v >= 0 && v <= 255;
    case 2: return v >= INT16_MIN && v <= INT16_MAX;
    case 3: return FitsInt(v);
    default: return true;
  }
}

void Overflow(sqlite3_context* ctx, int code) {
  static const char* const names[] = {"int", "tinyint", "smallint", "int", "bigint"};
  const char* name = names[code >= 0 && code <= 4 ? code : 0];
  const std::string m = "vx:8115:Arithmetic overflow error converting expression to data type " + std::string(name) + ".";
  sqlite3_result_error(ctx, m.c_str(), static_cast<int>(m.size()));
}

// Text the server reads as an int: blanks around, a sign, digits.
bool ParseInt(const std::string& text, int64_t& out, bool& overflow) {
  size_t i = 0, n = text.size();
  while (i < n && text[i] == ' ') ++i;
  while (n > i && text[n - 1] == ' ') --n;
  bool neg = false;
  overflow = false;
  out = 0;
  // Blank text and a sign alone are 0 to the server.
  if (i < n && (text[i] == '-' || text[i] == '+')) neg = text[i++] == '-';
  if (i == n) return true;
  int64_t v = 0;
  for (; i < n; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    if (v > (INT64_MAX - 9) / 10) overflow = true;
    else v = v * 10 + (text[i] - '0');
  }
  out = neg ? -v : v;
  return true;
}

bool ParseFloat(const std::string& text, double& out) {
  if (text.find_first_not_of(' ') == std::string::npos) return out = 0, true;
  const char* s = text.c_str();
  char* end = nullptr;
  out = std::strtod(s, &end);
  if (end == s) return false;
  while (*end == ' ') ++end;
  return *end == '\0' && std::isfinite(out);
}

// The type of a CAST or CONVERT: its base name and length ("VARCHAR", 10).
struct Target {
  std::string base;
  long length = -1;
};

Target ParseTarget(const std::string& text) {
  Target t;
  std::string u = Upper(text);
  const size_t open = u.find('(');
  t.base = u.substr(0, open);
  while (!t.base.empty() && t.base.back() == ' ') t.base.pop_back();
  if (open != std::string::npos) t.length = std::strtol(u.c_str() + open + 1, nullptr, 10);
  return t;
}

int IntWidth(const std::string& base) {
  if (base == "TINYINT") return 1;
  if (base == "SMALLINT") return 2;
  if (base == "INT" || base == "INTEGER") return 4;
  if (base == "BIGINT") return 8;
  return 0;
}

// Days since 1 March of year 0 to the calendar (proleptic Gregorian).
void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
}

// A datetime as the server writes it in CONVERT style `style`; false for a style
// the simulator does not write.
bool FormatDate(double ole, int style, std::string& out) {
  if (!InDateRange(ole)) return false;
  // The server keeps a datetime in three-hundredths of a second.
  int64_t ticks = std::llround(ole * 86400.0 * 300.0);
  int64_t days = ticks >= 0 ? ticks / (86400LL * 300) : -((-ticks + 86400LL * 300 - 1) / (86400LL * 300));
  int64_t rest = ticks - days * 86400LL * 300;
  int y = 0, mo = 0, d = 0;
  CivilFromDays(days - 25569, y, mo, d);  // automation day 25569 is 1970-01-01
  const int h = static_cast<int>(rest / (3600 * 300)), mi = static_cast<int>(rest / (60 * 300) % 60),
            s = static_cast<int>(rest / 300 % 60);
  const int ms = static_cast<int>((rest % 300) * 10 / 3 + ((rest % 300) % 3 == 2 ? 1 : 0));
  static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char b[64];
  switch (style) {
    case 0:
    case 100:
      std::snprintf(b, sizeof b, "%s %2d %04d %2d:%02d%s", months[mo - 1], d, y, h % 12 == 0 ? 12 : h % 12, mi,
                    h < 12 ? "AM" : "PM");
      break;
    case 101: std::snprintf(b, sizeof b, "%02d/%02d/%04d", mo, d, y); break;
    case 102: std::snprintf(b, sizeof b, "%04d.%02d.%02d", y, mo, d); break;
    case 103: std::snprintf(b, sizeof b, "%02d/%02d/%04d", d, mo, y); break;
    case 108: std::snprintf(b, sizeof b, "%02d:%02d:%02d", h, mi, s); break;
    case 111: std::snprintf(b, sizeof b, "%04d/%02d/%02d", y, mo, d); break;
    case 112: std::snprintf(b, sizeof b, "%04d%02d%02d", y, mo, d); break;
    case 120: std::snprintf(b, sizeof b, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s); break;
    case 121: std::snprintf(b, sizeof b, "%04d-%02d-%02d %02d:%02d:%02d.%03d", y, mo, d, h, mi, s, ms); break;
    case 126: std::snprintf(b, sizeof b, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", y, mo, d, h, mi, s, ms); break;
    default: return false;
  }
  out = b;
  return true;
}

// Text cut to `length` characters of its type (varchar: bytes of one character
// each; nvarchar: UTF-16 code units); char and nchar are padded with blanks.
std::string FitText(std::string text, const Target& t) {
  long length = t.length < 0 ? 30 : t.length;
  std::u16string u = sqlserver::Utf8ToUtf16(text);
  if (static_cast<long>(u.size()) > length) u.resize(static_cast<size_t>(length));
  if ((t.base == "CHAR" || t.base == "NCHAR") && static_cast<long>(u.size()) < length)
    u.append(static_cast<size_t>(length) - u.size(), u' ');
  return sqlserver::Utf16ToUtf8(u);
}

// The rightmost `width` bytes of a big-endian integer.
std::string IntBytes(int64_t v, int width) {
  std::string b;
  for (int k = width - 1; k >= 0; --k) b += static_cast<char>((v >> (8 * k)) & 0xFF);
  return b;
}

// vx_convert(type, value, style, source): `source` says what the translation
// knows of the value: 'D' a datetime, 'V' varchar, 'N' nvarchar, 1/2/4/8 the
// width of an integer.
void FnConvert(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const Target t = ParseTarget(Text(argv[0]));
  sqlite3_value* v = argv[1];
  const int vt = sqlite3_value_type(v);
  const bool hasStyle = sqlite3_value_type(argv[2]) != SQLITE_NULL;
  const int style = sqlite3_value_int(argv[2]);
  const std::string source = Text(argv[3]);
  const bool isDate = source == "D" && IsNumber(vt);
  if (vt == SQLITE_NULL) return sqlite3_result_null(ctx);
  const std::string& b = t.base;
  const char* sourceName = source == "V" ? "varchar" : "nvarchar";
  if (const int width = IntWidth(b); width > 0 || b == "BIT") {
    int64_t r = 0;
    if (isDate) {
      if (!InDateRange(sqlite3_value_double(v)))
        return Fail(ctx, 8115, "Arithmetic overflow error converting expression to data type datetime.");
      r = static_cast<int64_t>(std::floor(sqlite3_value_double(v) - kServerEpoch + 0.5));
    } else if (vt == SQLITE_INTEGER) {
      r = sqlite3_value_int64(v);
    } else if (vt == SQLITE_FLOAT) {
      const double f = std::trunc(sqlite3_value_double(v));
      if (std::fabs(f) > 9.2e18) return Fail(ctx, 8115, "Arithmetic overflow error converting expression to data type " + Lower(b) + ".");
      r = static_cast<int64_t>(f);
    } else if (vt == SQLITE_BLOB) {
      const std::string bytes = Bytes(v);
      const int w = width > 0 ? width : 1;
      for (size_t k = bytes.size() > static_cast<size_t>(w) ? bytes.size() - static_cast<size_t>(w) : 0; k < bytes.size(); ++k)
        r = (r << 8) | static_cast<unsigned char>(bytes[k]);
      if (w < 8 && bytes.size() >= static_cast<size_t>(w) && (r >> (8 * w - 1)) & 1) r -= int64_t{1} << (8 * w);
    } else {
      const std::string text = Text(v);
      bool overflow = false;
      if (!ParseInt(text, r, overflow))
        return Fail(ctx, 245, "Syntax error converting the " + std::string(sourceName) + " value '" + text +
                                  "' to a column of data type " + Lower(b) + ".");
      if (overflow || (width == 4 && !FitsInt(r)) || (width == 2 && (r < -32768 || r > 32767)) ||
          (width == 1 && (r < 0 || r > 255)))
        return Fail(ctx, 244, "The conversion of the " + std::string(sourceName) + " value '" + text +
                                  "' overflowed an INT" + std::to_string(width) + " column. Use a larger integer column.");
    }
    if (b == "BIT") return sqlite3_result_int(ctx, r != 0 ? 1 : 0);
    if ((width == 4 && !FitsInt(r)) || (width == 2 && (r < -32768 || r > 32767)) || (width == 1 && (r < 0 || r > 255))) {
      if (width == 4) return Fail(ctx, 8115, "Arithmetic overflow error converting expression to data type int.");
      return Fail(ctx, 220, "Arithmetic overflow error for data type " + Lower(b) + ", value = " + std::to_string(r) + ".");
    }
    return sqlite3_result_int64(ctx, r);
  }
  if (b == "FLOAT" || b == "REAL") {
    if (isDate) return sqlite3_result_double(ctx, sqlite3_value_double(v) - kServerEpoch);
    if (vt == SQLITE_INTEGER || vt == SQLITE_FLOAT) return sqlite3_result_double(ctx, sqlite3_value_double(v));
    if (vt == SQLITE_BLOB) return Unsupported(ctx, "Converting binary to " + Lower(b));
    double f = 0;
    if (!ParseFloat(Text(v), f)) return Fail(ctx, 8114, "Error converting data type " + std::string(sourceName) + " to " + Lower(b) + ".");
    return sqlite3_result_double(ctx, f);
  }
  if (b == "DATETIME" || b == "SMALLDATETIME") {
    double ole = 0;
    if (isDate) ole = sqlite3_value_double(v);
    else if (vt == SQLITE_INTEGER || vt == SQLITE_FLOAT) ole = sqlite3_value_double(v) + kServerEpoch;
    else if (vt == SQLITE_BLOB) return Unsupported(ctx, "Converting binary to " + Lower(b));
    else if (Text(v).find_first_not_of(' ') == std::string::npos) ole = kServerEpoch;  // blank: 1900-01-01
    else if (hasStyle && style != 0 && style != 100 && style != 101 && style != 112 && style != 120 &&
             style != 121 && style != 126)
      return Unsupported(ctx, "CONVERT style " + std::to_string(style) + " of text");
    else if (bool outOfRange = false; !TextToServerDate(Text(v), ole, &outOfRange)) {
      if (outOfRange)
        return Fail(ctx, 242, "The conversion of a char data type to a datetime data type resulted in an "
                              "out-of-range datetime value.");
      // Text with digits may be one of the server's many other ways of writing a date.
      const std::string text = Text(v);
      if (text.find_first_of("0123456789") != std::string::npos)
        return Unsupported(ctx, "Reading '" + text + "' as a date");
      return Fail(ctx, 241, "Syntax error converting datetime from character string.");
    }
    if (!InDateRange(ole))
      return Fail(ctx, 8115, "Arithmetic overflow error converting expression to data type datetime.");
    if (b == "SMALLDATETIME") ole = std::round(ole * 1440.0) / 1440.0;
    return sqlite3_result_double(ctx, ole);
  }
  if (b == "VARCHAR" || b == "NVARCHAR" || b == "CHAR" || b == "NCHAR" || b == "SYSNAME") {
    const Target tt = b == "SYSNAME" ? Target{"NVARCHAR", 128} : t;
    if (isDate) {
      if (!InDateRange(sqlite3_value_double(v)))
        return Fail(ctx, 8115, "Arithmetic overflow error converting expression to data type datetime.");
      std::string out;
      if (!FormatDate(sqlite3_value_double(v), hasStyle ? style : 0, out))
        return Unsupported(ctx, "CONVERT style " + std::to_string(style));
      return ResultText(ctx, FitText(out, tt));
    }
    if (vt == SQLITE_FLOAT) return Unsupported(ctx, "Converting a float or decimal value to " + Lower(b));
    if (vt == SQLITE_INTEGER) {
      const std::string digits = std::to_string(sqlite3_value_int64(v));
      const long length = tt.length < 0 ? 30 : tt.length;
      if (static_cast<long>(digits.size()) > length) {
        if (tt.base[0] == 'N') return Fail(ctx, 8115, "Arithmetic overflow error converting expression to data type " + Lower(tt.base) + ".");
        return ResultText(ctx, "*");
      }
      return ResultText(ctx, FitText(digits, tt));
    }
    if (vt == SQLITE_BLOB) {
      const std::string bytes = Bytes(v);
      std::u16string u;
      if (tt.base[0] == 'N') {
        for (size_t k = 0; k + 1 < bytes.size(); k += 2)
          u += static_cast<char16_t>(static_cast<unsigned char>(bytes[k]) | static_cast<unsigned char>(bytes[k + 1]) << 8);
      } else {
        for (unsigned char c : bytes) {
          if (c == 0) return Unsupported(ctx, "Converting the byte 0x00 to varchar");
          u += CodePageChar(c);
        }
      }
      return ResultText(ctx, FitText(sqlserver::Utf16ToUtf8(u), tt));
    }
    if (tt.base[0] != 'N') {
      // varchar holds code page 1252: characters outside it become '?'
      std::u16string u = sqlserver::Utf8ToUtf16(Text(v));
      char16_t unknown = 0;
      if (!CodePageText(u, unknown)) {
        return Unsupported(ctx, "Converting the character U+" + UnitCode(unknown) + " to " + Lower(b));
      }
      return ResultText(ctx, FitText(sqlserver::Utf16ToUtf8(u), tt));
    }
    return ResultText(ctx, FitText(Text(v), tt));
  }
  if (b == "VARBINARY" || b == "BINARY") {
    const long length = t.length < 0 ? 30 : t.length;
    std::string bytes;
    if (isDate) return Unsupported(ctx, "Converting datetime to " + Lower(b));
    if (vt == SQLITE_INTEGER) {
      const int64_t i = sqlite3_value_int64(v);
      int width = source.size() == 1 && source[0] >= '1' && source[0] <= '8' ? source[0] - '0' : 4;
      if (!FitsInt(i) && width < 8) return Unsupported(ctx, "Converting this number to " + Lower(b));
      bytes = IntBytes(i, width);
      if (static_cast<long>(bytes.size()) > length) bytes = bytes.substr(bytes.size() - static_cast<size_t>(length));
      if (b == "BINARY" && static_cast<long>(bytes.size()) < length)
        bytes.insert(0, static_cast<size_t>(length) - bytes.size(), '\0');
      return ResultBlob(ctx, bytes);
    }
    if (vt == SQLITE_FLOAT) return Unsupported(ctx, "Converting a float or decimal value to " + Lower(b));
    if (vt == SQLITE_BLOB) {
      bytes = Bytes(v);
    } else if (source == "V") {
      for (char16_t c : sqlserver::Utf8ToUtf16(Text(v))) bytes += CodePageByte(c);
    } else {
      for (char16_t c : sqlserver::Utf8ToUtf16(Text(v))) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
      }
    }
    if (static_cast<long>(bytes.size()) > length) bytes.resize(static_cast<size_t>(length));
    if (b == "BINARY" && static_cast<long>(bytes.size()) < length) bytes.append(static_cast<size_t>(length) - bytes.size(), '\0');
    return ResultBlob(ctx, bytes);
  }
  Unsupported(ctx, "Converting to " + Lower(t.base));
}

// vx_add(a, b, kinds) and vx_sub(a, b, kinds): kinds has bit 1 when a is a
// datetime, bit 2 when b is.
void Arith(sqlite3_context* ctx, sqlite3_value** argv, bool add) {
  sqlite3_value* a = argv[0];
  sqlite3_value* b = argv[1];
  const int kinds = sqlite3_value_int(argv[2]);
  const int ta = sqlite3_value_type(a), tb = sqlite3_value_type(b);
  if (ta == SQLITE_NULL || tb == SQLITE_NULL) return sqlite3_result_null(ctx);
  if (kinds & 3) {
    if (!IsNumber(ta) || !IsNumber(tb)) return Unsupported(ctx, "Date arithmetic with text");
    double x = sqlite3_value_double(a), y = sqlite3_value_double(b);
    if (!(kinds & 1)) x += kServerEpoch;  // a number of days counts from 1900-01-01
    if (!(kinds & 2)) y += kServerEpoch;
    const double r = add ? x + y - kServerEpoch : x - y + kServerEpoch;
    if (!InDateRange(r)) return Fail(ctx, 517, "Adding a value to a 'datetime' column caused overflow.");
    return sqlite3_result_double(ctx, r);
  }
  if (add && ta == SQLITE_TEXT && tb == SQLITE_TEXT) return ResultText(ctx, Text(a) + Text(b));
  if (add && ta == SQLITE_BLOB && tb == SQLITE_BLOB) return ResultBlob(ctx, Bytes(a) + Bytes(b));
  if (ta == SQLITE_BLOB || tb == SQLITE_BLOB) return Unsupported(ctx, "Arithmetic with binary values");
  // A string meets a number: the server converts the string to the number's type.
  auto number = [&](sqlite3_value* v, int type, int other, int64_t& i, double& f) -> bool {
    if (type == SQLITE_INTEGER) return i = sqlite3_value_int64(v), true;
    if (type == SQLITE_FLOAT) return f = sqlite3_value_double(v), false;
    const std::string text = Text(v);
    if (other == SQLITE_FLOAT) {
      if (!ParseFloat(text, f)) throw std::string("8114:Error converting data type varchar to float.");
      return false;
    }
    bool overflow = false;
    if (!ParseInt(text, i, overflow))
      throw std::string("245:Syntax error converting the varchar value '" + text + "' to a column of data type int.");
    if (overflow || !FitsInt(i))
      throw std::string("244:The conversion of the varchar value '" + text + "' overflowed an INT4 column. Use a larger integer column.");
    return true;
  };
  try {
    int64_t ia = 0, ib = 0;
    double fa = 0, fb = 0;
    const bool inta = number(a, ta, tb, ia, fa), intb = number(b, tb, ta, ib, fb);
    if (inta && intb) {
      int64_t r = 0;
      const bool overflow = add ? __builtin_add_overflow(ia, ib, &r) : __builtin_sub_overflow(ia, ib, &r);
      // the type the translation gave the sum; without one, int unless a term is wider
      const int code = kinds >> 2 ? kinds >> 2 : FitsInt(ia) && FitsInt(ib) ? 3 : 4;
      if (overflow || !FitsCode(r, code)) return Overflow(ctx, code);
      return sqlite3_result_int64(ctx, r);
    }
    const double x = inta ? static_cast<double>(ia) : fa, y = intb ? static_cast<double>(ib) : fb;
    return sqlite3_result_double(ctx, add ? x + y : x - y);
  } catch (const std::string& e) {
    const size_t colon = e.find(':');
    return Fail(ctx, std::atoi(e.substr(0, colon).c_str()), e.substr(colon + 1));
  }
}

// vx_fit(value, code): an integer result held to the range of its type (code 1
// tinyint, 2 smallint, 3 int, 4 bigint); one SQLite made a float has overflowed.
void FnFit(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const int code = sqlite3_value_int(argv[1]);
  switch (sqlite3_value_type(argv[0])) {
    case SQLITE_INTEGER:
      if (!FitsCode(sqlite3_value_int64(argv[0]), code)) return Overflow(ctx, code);
      break;
    case SQLITE_FLOAT: return Overflow(ctx, code);
    default: break;
  }
  sqlite3_result_value(ctx, argv[0]);
}

// vx_same_length(binary, other): the binary, unless both are binaries of different lengths.
void FnSameLength(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_BLOB && sqlite3_value_type(argv[1]) == SQLITE_BLOB &&
      sqlite3_value_bytes(argv[0]) != sqlite3_value_bytes(argv[1]))
    return Unsupported(ctx, "Comparing binaries of different lengths");
  sqlite3_result_value(ctx, argv[0]);
}

void FnAdd(sqlite3_context* ctx, int, sqlite3_value** argv) { Arith(ctx, argv, true); }
void FnSub(sqlite3_context* ctx, int, sqlite3_value** argv) { Arith(ctx, argv, false); }

}  // namespace

std::string Lower(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

void RegisterScalars(sqlite3* h, void* session) {
  CreateGuardedFunction(h, "vx_convert", 4, session, FnConvert);
  CreateGuardedFunction(h, "vx_add", 3, session, FnAdd);
  sqlite3_create_function(h, "vx_fit", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, session, FnFit, nullptr, nullptr);
  CreateGuardedFunction(h, "vx_same_length", 2, session, FnSameLength);
  CreateGuardedFunction(h, "vx_sub", 3, session, FnSub);
  RegisterStrings(h, session);
  RegisterChecks(h, session);
}

}  // namespace vx::sqlsim
