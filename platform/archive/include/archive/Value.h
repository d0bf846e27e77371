#pragma once
// One field or parameter value of the archive: Null is a value of its own.
#include <cstdint>
#include <string>
#include <variant>

#include "automation/OleDate.h"

namespace vx::archive {

class Value {
 public:
  enum class Kind { Null, Integer, Real, Date, Boolean, Text };

  Value() = default;  // Null
  static Value Null() { return Value(); }
  static Value Integer(int64_t v);
  static Value Real(double v);
  static Value Date(OleDate v);
  static Value Boolean(bool v);
  static Value Text(std::string v);

  Kind GetKind() const { return kind_; }
  bool IsNull() const { return kind_ == Kind::Null; }

  // Conversions as the engine reads fields. A Null raises "Invalid use of Null"
  // (94); text that is no number raises "Type mismatch" (13); a number outside
  // 32 bits raises "Overflow" (6). A date becomes text in the user's locale form.
  int32_t ToLong() const;
  std::string ToText() const;
  OleDate ToDate() const;
  bool ToBool() const;  // compared with True; Null raises

  // The stored forms, without conversion (valid for the matching kind only).
  int64_t AsInteger() const { return std::get<int64_t>(data_); }
  double AsReal() const { return std::get<double>(data_); }
  const std::string& AsText() const { return std::get<std::string>(data_); }

  bool operator==(const Value& other) const = default;

 private:
  Kind kind_ = Kind::Null;
  std::variant<std::monostate, int64_t, double, std::string> data_;
};

}  // namespace vx::archive
