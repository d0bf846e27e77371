#include "automation/DateText.h"

#include <langinfo.h>
#include <locale.h>
#include <time.h>

#include <cmath>
#include <map>
#include <mutex>

#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"

namespace vx {
namespace {

// One locale handle per name, kept for the life of the process.
locale_t LocaleHandle(const std::string& name) {
  static std::mutex mutex;
  // never destroyed: the handles stay valid for threads still formatting at exit
  static auto& cache = *new std::map<std::string, locale_t>;
  std::lock_guard<std::mutex> lock(mutex);
  auto it = cache.find(name);
  if (it != cache.end()) return it->second;
  locale_t loc = newlocale(LC_TIME_MASK, name.c_str(), static_cast<locale_t>(0));
  if (loc == static_cast<locale_t>(0)) loc = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(0));
  cache.emplace(name, loc);
  return loc;
}

// Expands the composite conversions and widens a two-digit year.
std::string Normalise(std::string pattern, bool isDate) {
  std::string out;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%' || i + 1 >= pattern.size()) {
      out += pattern[i];
      continue;
    }
    char c = pattern[++i];
    switch (c) {
      case 'y': out += "%Y"; break;
      case 'D': out += "%m/%d/%Y"; break;
      case 'F': out += "%Y-%m-%d"; break;
      case 'T': out += "%H:%M:%S"; break;
      case 'R': out += "%H:%M"; break;
      case 'E':
      case 'O':  // alternative-representation modifiers: use the plain form
        break;
      default:
        out += '%';
        out += c;
    }
  }
  if (out.empty()) out = isDate ? "%m/%d/%Y" : "%H:%M:%S";
  return out;
}


std::tm ToTm(OleDate date) {
  DateParts p = OleToDateParts(date);
  std::tm tm{};
  tm.tm_year = p.year - 1900;
  tm.tm_mon = p.month - 1;
  tm.tm_mday = p.day;
  tm.tm_hour = p.hour;
  tm.tm_min = p.minute;
  tm.tm_sec = p.second;
  OleDate dayOnly = 0, yearStart = 0;
  DatePartsToOle(DateParts{p.year, p.month, p.day, 0, 0, 0}, dayOnly);
  DatePartsToOle(DateParts{p.year, 1, 1, 0, 0, 0}, yearStart);
  const auto day = static_cast<int64_t>(std::llround(dayOnly));
  tm.tm_wday = static_cast<int>(((day + 6) % 7 + 7) % 7);  // 30 Dec 1899 was a Saturday
  tm.tm_yday = static_cast<int>(day - static_cast<int64_t>(std::llround(yearStart)));
  tm.tm_isdst = -1;
  return tm;
}

std::string Format(const std::tm& tm, const std::string& pattern, const std::string& localeName) {
  locale_t loc = LocaleHandle(localeName);
  char buffer[256];
  size_t n = strftime_l(buffer, sizeof buffer, pattern.c_str(), &tm, loc);
  return std::string(buffer, n);
}

bool Parse(std::string_view text, const std::string& pattern, const std::string& localeName, OleDate& out) {
  std::string s(text);
  std::tm tm{};
  tm.tm_mday = 1;
  const char* end = strptime_l(s.c_str(), pattern.c_str(), &tm, LocaleHandle(localeName));
  if (!end) return false;
  while (*end == ' ' || *end == '\t') ++end;
  if (*end != '\0') return false;
  return DatePartsToOle(
      DateParts{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec}, out);
}

bool IsMidnight(OleDate date) {
  DateParts p = OleToDateParts(date);
  return p.hour == 0 && p.minute == 0 && p.second == 0;
}

}  // namespace

DateTextFormat DateTextFormat::FromLocale(const char* localeName) {
  locale_t loc = LocaleHandle(localeName ? localeName : "");
  DateTextFormat f;
  f.shortDate = Normalise(nl_langinfo_l(D_FMT, loc), true);
  f.longTime = Normalise(nl_langinfo_l(T_FMT, loc), false);
  f.localeName = localeName ? localeName : "";
  return f;
}

namespace {
DateTextFormat& UserFormat() {
  static DateTextFormat format = DateTextFormat::FromLocale("");
  return format;
}
}  // namespace

const DateTextFormat& DateTextFormat::User() { return UserFormat(); }

void DateTextFormat::SetUser(const DateTextFormat& format) { UserFormat() = format; }

std::string ShortDateText(OleDate date, const DateTextFormat& format) {
  return Format(ToTm(date), format.shortDate, format.localeName);
}

std::string LongTimeText(OleDate date, const DateTextFormat& format) {
  return Format(ToTm(date), format.longTime, format.localeName);
}

std::string DateToText(OleDate date, const DateTextFormat& format) {
  const std::tm tm = ToTm(date);
  if (IsMidnight(date)) return Format(tm, format.shortDate, format.localeName);
  return Format(tm, format.shortDate, format.localeName) + " " + Format(tm, format.longTime, format.localeName);
}

bool TextToDate(std::string_view text, OleDate& out, const DateTextFormat& format) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  if (text.empty()) return false;
  return Parse(text, format.shortDate + " " + format.longTime, format.localeName, out) ||
         Parse(text, format.shortDate, format.localeName, out);
}

OleDate TextToDateOrRaise(std::string_view text, const DateTextFormat& format) {
  OleDate d = 0;
  if (!TextToDate(text, d, format))
    throw ComError(err::kTypeMismatch, "DateText", "Type mismatch: '" + std::string(text) + "' is not a date.");
  return d;
}

}  // namespace vx
