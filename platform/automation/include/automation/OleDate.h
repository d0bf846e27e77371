#pragma once
// Automation dates: days since 30 December 1899, the fraction being the time of day.
#include <cstdint>
#include <ctime>

namespace vx {

using OleDate = double;

struct DateParts {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
};

// Calendar fields to an automation date; false when the fields form no valid date.
bool DatePartsToOle(const DateParts& parts, OleDate& out);
// Automation date to calendar fields, rounded to the nearest second.
DateParts OleToDateParts(OleDate date);
// The local time now, to the second.
OleDate OleNow();
// A POSIX time (seconds since 1970, UTC) as a local automation date.
OleDate OleFromUnixLocal(std::time_t t);

}  // namespace vx
