// String functions as the server computes them: lengths and positions count
// UTF-16 code units, CHARINDEX and REPLACE find text as the server's collation
// compares it (SimCollation.cpp), and AVG and SUM of integers are integers.
#include <cstdint>
#include <cstdio>
#include <string>

#include "SimCollation.h"
#include "SimGuard.h"
#include "SimTypes.h"
#include "sqlserver/Utf16.h"

#include <sqlcipher/sqlite3.h>

namespace vx::sqlsim {

std::u16string Units(sqlite3_value* v) {
  const unsigned char* t = sqlite3_value_text(v);
  return t ? sqlserver::Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(t),
                                                     static_cast<size_t>(sqlite3_value_bytes(v))))
           : std::u16string();
}

namespace {

void ResultUnits(sqlite3_context* ctx, const std::u16string& u) {
  const std::string s = sqlserver::Utf16ToUtf8(u);
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

// Refuses `what` when a character of `text` compares by rules the simulator does not keep.
bool Comparable(sqlite3_context* ctx, const std::u16string& text, const char* what) {
  const char16_t c = UnknownUnit(text);
  if (c == 0) return true;
  Fail(ctx, kUnsupportedNumber,
       std::string(what) + " of text with the character U+" + UnitCode(c) + " is not supported by the simulated server.");
  return false;
}

bool AnyNull(int argc, sqlite3_value** argv) {
  for (int i = 0; i < argc; ++i)
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return true;
  return false;
}

void FnLen(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  if (sqlite3_value_type(argv[0]) == SQLITE_BLOB) return sqlite3_result_int(ctx, sqlite3_value_bytes(argv[0]));
  std::u16string u = Units(argv[0]);
  while (!u.empty() && u.back() == u' ') u.pop_back();
  sqlite3_result_int(ctx, static_cast<int>(u.size()));
}

// The part [start, start + length) of a text or binary, 0-based, clipped.
void Part(sqlite3_context* ctx, sqlite3_value* v, int64_t start, int64_t length) {
  const bool blob = sqlite3_value_type(v) == SQLITE_BLOB;
  const int64_t size = blob ? sqlite3_value_bytes(v) : static_cast<int64_t>(Units(v).size());
  // a start past the end gives no characters; the end is computed wide, so no
  // start and length a client sends can overflow it
  const int64_t from = start < 0 ? 0 : start > size ? size : start;
  const __int128 end = static_cast<__int128>(start) + length;
  const int64_t to = end > size ? size : end < from ? from : static_cast<int64_t>(end);
  if (blob) {
    const char* p = static_cast<const char*>(sqlite3_value_blob(v));
    return sqlite3_result_blob(ctx, p ? p + from : "", static_cast<int>(to - from), SQLITE_TRANSIENT);
  }
  ResultUnits(ctx, Units(v).substr(static_cast<size_t>(from), static_cast<size_t>(to - from)));
}

void FnSubstring(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const int64_t length = sqlite3_value_int64(argv[2]);
  if (length < 0) return Fail(ctx, 536, "Invalid length parameter passed to the substring function.");
  const int64_t start = sqlite3_value_int64(argv[1]);
  Part(ctx, argv[0], start == INT64_MIN ? start : start - 1, length);
}

void FnLeft(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const int64_t n = sqlite3_value_int64(argv[1]);
  if (n < 0) return Fail(ctx, 536, "Invalid length parameter passed to the left function.");
  Part(ctx, argv[0], 0, n);
}

void FnRight(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const int64_t n = sqlite3_value_int64(argv[1]);
  if (n < 0) return Fail(ctx, 536, "Invalid length parameter passed to the right function.");
  const int64_t size = sqlite3_value_type(argv[0]) == SQLITE_BLOB ? sqlite3_value_bytes(argv[0])
                                                                   : static_cast<int64_t>(Units(argv[0]).size());
  Part(ctx, argv[0], size - n < 0 ? 0 : size - n, n);
}

size_t FindCi(const std::u16string& hay, const std::u16string& needle, size_t from) {
  if (needle.empty()) return std::u16string::npos;
  for (size_t i = from; i + needle.size() <= hay.size(); ++i) {
    size_t k = 0;
    while (k < needle.size() && Fold(hay[i + k]) == Fold(needle[k])) ++k;
    if (k == needle.size()) return i;
  }
  return std::u16string::npos;
}

void FnCharIndex(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const int64_t start = argc == 3 ? sqlite3_value_int64(argv[2]) : 1;
  const std::u16string hay = Units(argv[1]), needle = Units(argv[0]);
  if (!Comparable(ctx, needle, "CHARINDEX") || !Comparable(ctx, hay, "CHARINDEX")) return;
  const size_t at = FindCi(hay, needle, static_cast<size_t>(start < 1 ? 0 : start - 1));
  sqlite3_result_int64(ctx, at == std::u16string::npos ? 0 : static_cast<int64_t>(at) + 1);
}

void FnReplace(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const std::u16string s = Units(argv[0]), find = Units(argv[1]), with = Units(argv[2]);
  if (!Comparable(ctx, s, "REPLACE") || !Comparable(ctx, find, "REPLACE")) return;
  std::u16string out;
  size_t from = 0;
  for (size_t at; (at = FindCi(s, find, from)) != std::u16string::npos; from = at + find.size())
    out += s.substr(from, at - from) + with;
  ResultUnits(ctx, out + s.substr(from));
}

// UPPER and LOWER: the simulator folds ASCII letters only.
void FnCase(sqlite3_context* ctx, int, sqlite3_value** argv, bool upper) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  std::u16string u = Units(argv[0]);
  for (char16_t& c : u) {
    if (c >= 0x80) return Fail(ctx, kUnsupportedNumber, std::string(upper ? "UPPER" : "LOWER") +
                                                             " of letters beyond ASCII is not supported by the simulated server.");
    if (upper && c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    if (!upper && c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  }
  ResultUnits(ctx, u);
}
void FnUpper(sqlite3_context* ctx, int argc, sqlite3_value** argv) { FnCase(ctx, argc, argv, true); }
void FnLower(sqlite3_context* ctx, int argc, sqlite3_value** argv) { FnCase(ctx, argc, argv, false); }

// AVG: an integer for integers (truncated), as the server's AVG(int).
struct Average {
  double sum = 0;
  int64_t isum = 0;
  int64_t count = 0;
  bool real = false, overflow = false;
};

void AvgStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
  auto* a = static_cast<Average*>(sqlite3_aggregate_context(ctx, sizeof(Average)));
  if (!a) return;
  const int t = sqlite3_value_type(argv[0]);
  if (t == SQLITE_NULL) return;
  if (t != SQLITE_INTEGER) a->real = true;
  a->sum += sqlite3_value_double(argv[0]);
  if (t == SQLITE_INTEGER && __builtin_add_overflow(a->isum, sqlite3_value_int64(argv[0]), &a->isum)) a->overflow = true;
  ++a->count;
}

void AvgFinal(sqlite3_context* ctx) {
  auto* a = static_cast<Average*>(sqlite3_aggregate_context(ctx, 0));
  if (!a || a->count == 0) return sqlite3_result_null(ctx);
  if (a->real) return sqlite3_result_double(ctx, a->sum / static_cast<double>(a->count));
  if (a->overflow) return Fail(ctx, 8115, "Arithmetic overflow error converting expression to data type bigint.");
  sqlite3_result_int64(ctx, a->isum / a->count);
}

// SUM: an int for ints, with the server's overflow error.
struct Sum {
  double real = 0;
  int64_t whole = 0;
  bool isReal = false, wide = false, any = false, overflow = false;
};

// vx_sum(x) sums ints; vx_sum(x, 4) sums bigints.
void SumStep(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  auto* a = static_cast<Sum*>(sqlite3_aggregate_context(ctx, sizeof(Sum)));
  if (!a) return;
  if (argc == 2) a->wide = true;
  const int t = sqlite3_value_type(argv[0]);
  if (t == SQLITE_NULL) return;
  a->any = true;
  if (t != SQLITE_INTEGER) a->isReal = true;
  a->real += sqlite3_value_double(argv[0]);
  if (t == SQLITE_INTEGER) {
    const int64_t v = sqlite3_value_int64(argv[0]);
    if (v < INT32_MIN || v > INT32_MAX) a->wide = true;
    if (__builtin_add_overflow(a->whole, v, &a->whole)) a->overflow = true;
  }
}

void SumFinal(sqlite3_context* ctx) {
  auto* a = static_cast<Sum*>(sqlite3_aggregate_context(ctx, 0));
  if (!a || !a->any) return sqlite3_result_null(ctx);
  if (a->isReal) return sqlite3_result_double(ctx, a->real);
  if (a->overflow) return Fail(ctx, 8115, "Arithmetic overflow error converting expression to data type bigint.");
  if (!a->wide && (a->whole < INT32_MIN || a->whole > INT32_MAX))
    return Fail(ctx, 8115, "Arithmetic overflow error converting expression to data type int.");
  sqlite3_result_int64(ctx, a->whole);
}

}  // namespace

void RegisterStrings(sqlite3* h, void* session) {
  struct F {
    const char* name;
    int argc;
    void (*fn)(sqlite3_context*, int, sqlite3_value**);
  };
  const F fns[] = {{"vx_len", 1, FnLen},         {"vx_substring", 3, FnSubstring}, {"vx_left", 2, FnLeft},
                   {"vx_right", 2, FnRight},     {"vx_charindex", 2, FnCharIndex}, {"vx_charindex", 3, FnCharIndex},
                   {"vx_replace", 3, FnReplace}, {"vx_upper", 1, FnUpper},         {"vx_lower", 1, FnLower},
};
  for (const F& f : fns) CreateGuardedFunction(h, f.name, f.argc, session, f.fn);
  sqlite3_create_function(h, "vx_avg", 1, SQLITE_UTF8, session, nullptr, AvgStep, AvgFinal);
  sqlite3_create_function(h, "vx_sum", 1, SQLITE_UTF8, session, nullptr, SumStep, SumFinal);
  sqlite3_create_function(h, "vx_sum", 2, SQLITE_UTF8, session, nullptr, SumStep, SumFinal);
  RegisterLike(h, session);
}

}  // namespace vx::sqlsim
