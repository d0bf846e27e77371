#pragma once
// Dates as text, the way the system shows and stores them: the user's short
// date, a blank and the long time; the date alone when the time is midnight.
// The same text reads back to the same date and time (to the second).
#include <string>
#include <string_view>

#include "automation/OleDate.h"

namespace vx {

// The two strftime-style patterns of one locale. A two-digit year in the
// locale's short date is widened to four digits so that no text loses its century.
struct DateTextFormat {
  std::string shortDate;  // e.g. "%m/%d/%Y"
  std::string longTime;   // e.g. "%H:%M:%S"
  std::string localeName;  // names such as %p and %b are taken from this locale

  // The patterns of a named locale ("" = the user's locale from the environment).
  // An unknown locale name falls back to the "C" locale's patterns.
  static DateTextFormat FromLocale(const char* localeName = "");
  // The user's patterns, computed once per process.
  static const DateTextFormat& User();
  // Replaces the user's patterns for the rest of the process (a program run
  // under another user's format, as tests of the windows do).
  static void SetUser(const DateTextFormat& format);
};

// Date to text: short date + " " + long time, or the short date alone at midnight.
std::string DateToText(OleDate date, const DateTextFormat& format = DateTextFormat::User());
// The short date alone, and the long time alone (used in generated file banners).
std::string ShortDateText(OleDate date, const DateTextFormat& format = DateTextFormat::User());
std::string LongTimeText(OleDate date, const DateTextFormat& format = DateTextFormat::User());

// Text back to a date: accepts "date time" and "date" alone (midnight), with
// surrounding blanks ignored. False when the text is neither.
bool TextToDate(std::string_view text, OleDate& out, const DateTextFormat& format = DateTextFormat::User());
// As TextToDate, but raises ComError 13 (type mismatch) for text that is no date.
OleDate TextToDateOrRaise(std::string_view text, const DateTextFormat& format = DateTextFormat::User());

}  // namespace vx
