#pragma once
// One typed value of a row: Null, a whole number, a floating number, text or a
// date/time (an automation date). Null is distinct from every other value.
#include <cstdint>
#include <string>

#include "automation/OleDate.h"

namespace vx::sqlserver {

class Value {
 public:
  enum class Kind { Null, Integer, Float, Text, DateTime };

  Value() = default;  // Null
  static Value Null() { return Value(); }
  static Value Integer(int64_t v);
  static Value Float(double v);
  static Value Text(std::string v);
  static Value DateTime(OleDate v);

  Kind GetKind() const noexcept { return kind_; }
  bool IsNull() const noexcept { return kind_ == Kind::Null; }

  // Strict conversions. Null raises err::kInvalidUseOfNull (94); a value that is
  // not a number raises err::kTypeMismatch (13); a number outside int32 raises
  // err::kOverflow (6).
  int32_t AsInt32() const;
  int64_t AsInt64() const;
  double AsDouble() const;
  // Text form: numbers in decimal, dates as "YYYY-MM-DD HH:MM:SS". Null raises 94.
  std::string AsText() const;
  // Dates (and numbers, read as automation dates). Null raises 94, text raises 13.
  OleDate AsDate() const;

  bool operator==(const Value& other) const = default;

 private:
  Kind kind_ = Kind::Null;
  int64_t int_ = 0;
  double float_ = 0;
  std::string text_;
};

// "YYYY-MM-DD HH:MM:SS" of an automation date (the server's own date text).
std::string FormatServerDate(OleDate date);

}  // namespace vx::sqlserver
