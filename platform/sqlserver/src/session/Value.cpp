#include "sqlserver/Value.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"

namespace vx::sqlserver {

namespace {
constexpr const char* kSource = "Value";

[[noreturn]] void RaiseNull() { throw ComError(err::kInvalidUseOfNull, kSource, "Invalid use of Null"); }
[[noreturn]] void RaiseMismatch() { throw ComError(err::kTypeMismatch, kSource, "Type mismatch"); }
}  // namespace

Value Value::Integer(int64_t v) {
  Value r;
  r.kind_ = Kind::Integer;
  r.int_ = v;
  return r;
}
Value Value::Float(double v) {
  Value r;
  r.kind_ = Kind::Float;
  r.float_ = v;
  return r;
}
Value Value::Text(std::string v) {
  Value r;
  r.kind_ = Kind::Text;
  r.text_ = std::move(v);
  return r;
}
Value Value::DateTime(OleDate v) {
  Value r;
  r.kind_ = Kind::DateTime;
  r.float_ = v;
  return r;
}

int64_t Value::AsInt64() const {
  switch (kind_) {
    case Kind::Null: RaiseNull();
    case Kind::Integer: return int_;
    case Kind::Float:
    case Kind::DateTime: {
      double r = std::nearbyint(float_);
      if (!(r >= -9.2e18 && r <= 9.2e18)) throw ComError(err::kOverflow, kSource, "Overflow");
      return static_cast<int64_t>(r);
    }
    case Kind::Text: {
      size_t b = text_.find_first_not_of(' ');
      size_t e = text_.find_last_not_of(' ');
      if (b == std::string::npos) RaiseMismatch();
      int64_t v = 0;
      auto res = std::from_chars(text_.data() + b, text_.data() + e + 1, v);
      if (res.ec != std::errc() || res.ptr != text_.data() + e + 1) RaiseMismatch();
      return v;
    }
  }
  RaiseMismatch();
}

int32_t Value::AsInt32() const {
  int64_t v = AsInt64();
  if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
    throw ComError(err::kOverflow, kSource, "Overflow");
  return static_cast<int32_t>(v);
}

double Value::AsDouble() const {
  switch (kind_) {
    case Kind::Null: RaiseNull();
    case Kind::Integer: return static_cast<double>(int_);
    case Kind::Float:
    case Kind::DateTime: return float_;
    case Kind::Text: {
      try {
        size_t used = 0;
        double d = std::stod(text_, &used);
        if (text_.find_first_not_of(' ', used) != std::string::npos) RaiseMismatch();
        return d;
      } catch (const std::logic_error&) {
        RaiseMismatch();
      }
    }
  }
  RaiseMismatch();
}

std::string Value::AsText() const {
  switch (kind_) {
    case Kind::Null: RaiseNull();
    case Kind::Integer: return std::to_string(int_);
    case Kind::Float: {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.15g", float_);
      return buf;
    }
    case Kind::DateTime: return FormatServerDate(float_);
    case Kind::Text: return text_;
  }
  return {};
}

OleDate Value::AsDate() const {
  switch (kind_) {
    case Kind::Null: RaiseNull();
    case Kind::Integer: return static_cast<double>(int_);
    case Kind::Float:
    case Kind::DateTime: return float_;
    case Kind::Text: RaiseMismatch();
  }
  RaiseMismatch();
}

std::string FormatServerDate(OleDate date) {
  DateParts p = OleToDateParts(date);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute,
                p.second);
  return buf;
}

}  // namespace vx::sqlserver
