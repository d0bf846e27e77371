#include "automation/OleDate.h"

#include <chrono>
#include <cmath>

namespace vx {
namespace {

// Days from 1970-01-01 to the civil date (proleptic Gregorian).
constexpr int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t yy = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yy + (m <= 2));
}

constexpr int64_t kOleEpochDays = DaysFromCivil(1899, 12, 30);

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

}  // namespace

bool DatePartsToOle(const DateParts& p, OleDate& out) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (p.year < 100 || p.year > 9999 || p.month < 1 || p.month > 12 || p.day < 1) return false;
  const int maxDay = kDays[p.month - 1] + ((p.month == 2 && IsLeap(p.year)) ? 1 : 0);
  if (p.day > maxDay || p.hour < 0 || p.hour > 23 || p.minute < 0 || p.minute > 59 || p.second < 0 ||
      p.second > 59)
    return false;
  const int64_t days = DaysFromCivil(p.year, static_cast<unsigned>(p.month), static_cast<unsigned>(p.day)) -
                       kOleEpochDays;
  const double frac = (p.hour * 3600 + p.minute * 60 + p.second) / 86400.0;
  // Before the epoch the fraction counts away from zero, as automation dates do.
  out = days >= 0 ? static_cast<double>(days) + frac : static_cast<double>(days) - frac;
  return true;
}

DateParts OleToDateParts(OleDate date) {
  // Far beyond any calendar shown (or not a number): held at a bound, never overflowed.
  if (!(date > -1e9)) date = -1e9;
  if (!(date < 1e9)) date = 1e9;
  double days = std::trunc(date);
  double frac = std::fabs(date - days);
  int64_t secs = std::llround(frac * 86400.0);
  if (secs >= 86400) {
    secs -= 86400;
    days += date >= 0 ? 1 : -1;
  }
  DateParts p;
  CivilFromDays(static_cast<int64_t>(days) + kOleEpochDays, p.year, p.month, p.day);
  p.hour = static_cast<int>(secs / 3600);
  p.minute = static_cast<int>((secs / 60) % 60);
  p.second = static_cast<int>(secs % 60);
  return p;
}

OleDate OleFromUnixLocal(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  DateParts p{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
  OleDate d = 0;
  DatePartsToOle(p, d);
  return d;
}

OleDate OleNow() {
  return OleFromUnixLocal(std::chrono::system_clock::to_time_t(std::chrono::system_clock::now()));
}

}  // namespace vx
