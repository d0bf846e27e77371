#include "archive/Value.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "automation/ComError.h"
#include "automation/DateText.h"
#include "automation/ErrorNumbers.h"

namespace vx::archive {
namespace {

constexpr const char* kSource = "Field";

[[noreturn]] void RaiseNull() { throw ComError(err::kInvalidUseOfNull, kSource, "Invalid use of Null"); }

int32_t RoundToLong(double d) {
  if (!std::isfinite(d) || d < -2147483648.5 || d > 2147483647.5) throw ComError(err::kOverflow, kSource, "Overflow");
  return static_cast<int32_t>(std::nearbyint(d));  // half to even, as the language rounds
}

}  // namespace

Value Value::Integer(int64_t v) {
  Value r;
  r.kind_ = Kind::Integer;
  r.data_ = v;
  return r;
}
Value Value::Real(double v) {
  Value r;
  r.kind_ = Kind::Real;
  r.data_ = v;
  return r;
}
Value Value::Date(OleDate v) {
  Value r;
  r.kind_ = Kind::Date;
  r.data_ = v;
  return r;
}
Value Value::Boolean(bool v) {
  Value r;
  r.kind_ = Kind::Boolean;
  r.data_ = static_cast<int64_t>(v ? -1 : 0);
  return r;
}
Value Value::Text(std::string v) {
  Value r;
  r.kind_ = Kind::Text;
  r.data_ = std::move(v);
  return r;
}

int32_t Value::ToLong() const {
  switch (kind_) {
    case Kind::Null: RaiseNull();
    case Kind::Integer:
    case Kind::Boolean: {
      int64_t v = AsInteger();
      if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
        throw ComError(err::kOverflow, kSource, "Overflow");
      return static_cast<int32_t>(v);
    }
    case Kind::Real:
    case Kind::Date: return RoundToLong(AsReal());
    case Kind::Text: {
      const std::string& s = AsText();
      char* end = nullptr;
      errno = 0;
      double d = std::strtod(s.c_str(), &end);
      while (end && (*end == ' ' || *end == '\t')) ++end;
      if (s.empty() || end == s.c_str() || *end != '\0' || errno == ERANGE)
        throw ComError(err::kTypeMismatch, kSource, "Type mismatch");
      return RoundToLong(d);
    }
  }
  return 0;
}

std::string Value::ToText() const {
  switch (kind_) {
    case Kind::Null: RaiseNull();
    case Kind::Integer: return std::to_string(AsInteger());
    case Kind::Boolean: return AsInteger() ? "True" : "False";
    case Kind::Real: {
      char buffer[64];
      std::snprintf(buffer, sizeof buffer, "%.15g", AsReal());
      return buffer;
    }
    case Kind::Date: return DateToText(AsReal());
    case Kind::Text: return AsText();
  }
  return {};
}

OleDate Value::ToDate() const {
  switch (kind_) {
    case Kind::Null: RaiseNull();
    case Kind::Integer:
    case Kind::Boolean: return static_cast<double>(AsInteger());
    case Kind::Real:
    case Kind::Date: return AsReal();
    case Kind::Text: return TextToDateOrRaise(AsText());
  }
  return 0;
}

bool Value::ToBool() const {
  switch (kind_) {
    case Kind::Null: RaiseNull();
    case Kind::Boolean: return AsInteger() != 0;
    case Kind::Integer: return AsInteger() == -1;
    case Kind::Real:
    case Kind::Date: return AsReal() == -1.0;
    case Kind::Text: {
      const std::string& s = AsText();
      if (s == "True") return true;
      if (s == "False") return false;
      return ToLong() == -1;
    }
  }
  return false;
}

}  // namespace vx::archive
