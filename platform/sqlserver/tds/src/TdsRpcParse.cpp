// Reading an RPC request: the procedure's name or id, its option flags, and its
// parameters, each with its TYPE_INFO and its value as the types of TDS 7.1 carry them.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

#include "TdsRpc.h"
#include "TdsText.h"
#include "sqlserver/Utf16.h"

namespace vx::tds {

namespace {

using sqlserver::Value;

class Reader {
 public:
  explicit Reader(const std::string& p) : p_(p) {}
  bool Has(size_t n) const { return at_ + n <= p_.size(); }
  bool AtEnd() const { return at_ >= p_.size(); }
  size_t At() const { return at_; }
  uint8_t Peek() const { return static_cast<uint8_t>(p_[at_]); }
  uint64_t Le(size_t bytes) {
    uint64_t v = 0;
    for (size_t i = bytes; i-- > 0;) v = (v << 8) | static_cast<unsigned char>(p_[at_ + i]);
    at_ += bytes;
    return v;
  }
  std::string Bytes(size_t n) {
    std::string s = p_.substr(at_, n);
    at_ += n;
    return s;
  }
  std::string Slice(size_t from) const { return p_.substr(from, at_ - from); }

 private:
  const std::string& p_;
  size_t at_ = 0;
};

std::string FromUtf16(std::string_view bytes) {
  std::u16string s(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                 (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  return sqlserver::Utf16ToUtf8(s);
}

int64_t Signed(std::string_view b) {
  uint64_t v = 0;
  for (size_t i = b.size(); i-- > 0;) v = (v << 8) | static_cast<unsigned char>(b[i]);
  const unsigned bits = static_cast<unsigned>(b.size() * 8);
  if (bits < 64 && (v >> (bits - 1)) & 1) v |= ~uint64_t{0} << bits;
  return static_cast<int64_t>(v);
}

enum : uint8_t {
  kNull = 0x1F, kInt1 = 0x30, kBit = 0x32, kInt2 = 0x34, kInt4 = 0x38, kDateTime4 = 0x3A, kFlt4 = 0x3B,
  kMoney = 0x3C, kDateTime = 0x3D, kFlt8 = 0x3E, kMoney4 = 0x7A, kInt8 = 0x7F,
  kGuid = 0x24, kIntN = 0x26, kBitN = 0x68, kDecimalN = 0x6A, kNumericN = 0x6C, kFltN = 0x6D, kMoneyN = 0x6E,
  kDateTimeN = 0x6F, kVarBinary = 0x25, kVarChar = 0x27, kBinary = 0x2D, kChar = 0x2F, kDecimal = 0x37,
  kNumeric = 0x3F, kBigVarBinary = 0xA5, kBigVarChar = 0xA7, kBigBinary = 0xAD, kBigChar = 0xAF,
  kNVarChar = 0xE7, kNChar = 0xEF, kImage = 0x22, kText = 0x23, kNText = 0x63,
};

bool IsCharType(uint8_t t) { return t == kBigVarChar || t == kBigChar || t == kVarChar || t == kChar || t == kText; }
bool IsNCharType(uint8_t t) { return t == kNVarChar || t == kNChar || t == kNText; }

// The value of `data` (without its length) as the type says.
Value Convert(uint8_t type, uint8_t scale, std::string_view data) {
  switch (type) {
    case kInt1: return Value::Integer(static_cast<unsigned char>(data[0]));
    case kBit:
    case kBitN: return Value::Integer(data[0] ? 1 : 0);
    case kInt2:
    case kInt4:
    case kInt8:
    case kIntN: return data.size() == 1 ? Value::Integer(static_cast<unsigned char>(data[0])) : Value::Integer(Signed(data));
    case kFlt4:
    case kFlt8:
    case kFltN:
      if (data.size() == 4) {
        float f = 0;
        std::memcpy(&f, data.data(), 4);
        return Value::Float(f);
      } else {
        double d = 0;
        std::memcpy(&d, data.data(), 8);
        return Value::Float(d);
      }
    case kMoney4:
    case kMoney:
    case kMoneyN:
      if (data.size() == 4) return Value::Float(static_cast<double>(Signed(data)) / 10000.0);
      // eight bytes: the high half first
      return Value::Float(static_cast<double>((Signed(data.substr(0, 4)) << 32) |
                                              static_cast<int64_t>(static_cast<uint32_t>(Signed(data.substr(4, 4))))) /
                          10000.0);
    case kDateTime4:
    case kDateTime:
    case kDateTimeN:
      if (data.size() == 4) {
        const auto days = static_cast<double>(static_cast<uint16_t>(Signed(data.substr(0, 2))));
        const auto minutes = static_cast<double>(static_cast<uint16_t>(Signed(data.substr(2, 2))));
        return Value::DateTime(days + 2 + minutes / 1440.0);
      } else {
        // days since 1900-01-01, three-hundredths of a second since midnight; OLE dates count from 1899-12-30
        const double days = static_cast<double>(Signed(data.substr(0, 4)));
        const double ticks = static_cast<double>(static_cast<uint32_t>(Signed(data.substr(4, 4))));
        const double fraction = ticks / (300.0 * 86400.0);
        return Value::DateTime(days + 2 + (days + 2 < 0 ? -fraction : fraction));
      }
    case kDecimal:
    case kNumeric:
    case kDecimalN:
    case kNumericN: {
      if (data.empty()) return Value::Null();
      const bool positive = data[0] == 1;
      double magnitude = 0;
      uint64_t low = 0;
      bool fits = data.size() <= 9;
      for (size_t i = data.size(); i-- > 1;) {
        magnitude = magnitude * 256.0 + static_cast<unsigned char>(data[i]);
        low = (low << 8) | static_cast<unsigned char>(data[i]);
      }
      if (scale == 0 && fits && low <= static_cast<uint64_t>(INT64_MAX))
        return Value::Integer(positive ? static_cast<int64_t>(low) : -static_cast<int64_t>(low));
      const double v = magnitude / std::pow(10.0, scale);
      return Value::Float(positive ? v : -v);
    }
    case kGuid: {
      static const char* hex = "0123456789ABCDEF";
      const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
      std::string s;
      for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) s += '-';
        const auto b = static_cast<unsigned char>(data[static_cast<size_t>(order[i])]);
        s += hex[b >> 4];
        s += hex[b & 15];
      }
      return Value::Text(s);
    }
    default:
      if (IsNCharType(type)) return Value::Text(FromUtf16(data));
      if (IsCharType(type)) return Value::Text(FromCodePage(data));
      return Value::Text(std::string(data));  // binary
  }
}

// The server's name of a parameter's type; "" for the types whose values the
// session takes as they are (decimal, money, uniqueidentifier).
std::string SqlTypeOf(uint8_t type, size_t maxLength, size_t valueLength) {
  const size_t size = maxLength ? maxLength : valueLength;
  auto sized = [](const char* name, size_t n) { return std::string(name) + "(" + std::to_string(n ? n : 1) + ")"; };
  switch (type) {
    case kInt1: return "tinyint";
    case kBit: case kBitN: return "bit";
    case kInt2: return "smallint";
    case kInt4: return "int";
    case kInt8: return "bigint";
    case kIntN: return size == 1 ? "tinyint" : size == 2 ? "smallint" : size == 8 ? "bigint" : "int";
    case kFlt4: return "real";
    case kFlt8: return "float";
    case kFltN: return size == 4 ? "real" : "float";
    case kDateTime4: return "smalldatetime";
    case kDateTime: return "datetime";
    case kDateTimeN: return size == 4 ? "smalldatetime" : "datetime";
    case kVarBinary: case kBigVarBinary: return sized("varbinary", std::min<size_t>(size, 8000));
    case kBinary: case kBigBinary: return sized("binary", std::min<size_t>(size, 8000));
    case kImage: return "image";
    case kVarChar: case kBigVarChar: return sized("varchar", std::min<size_t>(size, 8000));
    case kChar: case kBigChar: return sized("char", std::min<size_t>(size, 8000));
    case kNVarChar: return sized("nvarchar", std::min<size_t>(size / 2, 4000));
    case kNChar: return sized("nchar", std::min<size_t>(size / 2, 4000));
    case kText: return "text";
    case kNText: return "ntext";
    default: return {};
  }
}

// TYPE_INFO and value of one parameter.
bool ReadTyped(Reader& r, RpcParameter& p, std::string& error) {
  const size_t typeStart = r.At();
  if (!r.Has(1)) return false;
  const auto type = static_cast<uint8_t>(r.Le(1));
  uint8_t scale = 0;
  size_t fixed = 0;
  size_t maxLength = 0;  // of the type, where TYPE_INFO gives one
  int lengthBytes = 0;  // of the value's length: 0 (fixed), 1, 2 or 4
  switch (type) {
    case kNull: fixed = 0; break;
    case kInt1: case kBit: fixed = 1; break;
    case kInt2: fixed = 2; break;
    case kInt4: case kDateTime4: case kFlt4: case kMoney4: fixed = 4; break;
    case kMoney: case kDateTime: case kFlt8: case kInt8: fixed = 8; break;
    case kGuid: case kIntN: case kBitN: case kFltN: case kMoneyN: case kDateTimeN:
    case kVarBinary: case kVarChar: case kBinary: case kChar:
      if (!r.Has(1)) return false;
      maxLength = static_cast<size_t>(r.Le(1));
      lengthBytes = 1;
      break;
    case kDecimal: case kNumeric: case kDecimalN: case kNumericN:
      if (!r.Has(3)) return false;
      r.Le(2);  // length, precision
      scale = static_cast<uint8_t>(r.Le(1));
      lengthBytes = 1;
      break;
    case kBigVarBinary: case kBigBinary: case kBigVarChar: case kBigChar: case kNVarChar: case kNChar:
      if (!r.Has(2)) return false;
      maxLength = static_cast<size_t>(r.Le(2));
      if (type != kBigVarBinary && type != kBigBinary) {
        if (!r.Has(5)) return false;
        r.Bytes(5);  // collation
      }
      lengthBytes = 2;
      break;
    case kImage: case kText: case kNText:
      if (!r.Has(4)) return false;
      r.Le(4);
      if (type != kImage) {
        if (!r.Has(5)) return false;
        r.Bytes(5);
      }
      lengthBytes = 4;
      break;
    default:
      error = "Parameter " + (p.name.empty() ? std::string("without a name") : p.name) + " has a data type (0x" +
              "0123456789ABCDEF"[type >> 4] + "0123456789ABCDEF"[type & 15] + ") this server does not take.";
      return false;
  }
  p.typeInfo = r.Slice(typeStart);
  const size_t dataStart = r.At();
  size_t length = fixed;
  bool isNull = type == kNull;
  if (lengthBytes > 0) {
    if (!r.Has(static_cast<size_t>(lengthBytes))) return false;
    const uint64_t n = r.Le(static_cast<size_t>(lengthBytes));
    const uint64_t nullMark = lengthBytes == 2 ? 0xFFFF : lengthBytes == 4 ? 0xFFFFFFFF : ~uint64_t{0};
    const bool zeroIsNull = lengthBytes == 1 && !(type == kVarChar || type == kChar || type == kVarBinary ||
                                                  type == kBinary);
    if (n == nullMark || (n == 0 && zeroIsNull)) {
      isNull = true;
      length = 0;
    } else {
      length = static_cast<size_t>(n);
    }
  }
  if (!r.Has(length)) return false;
  const std::string bytes = r.Bytes(length);
  p.data = r.Slice(dataStart);
  if (!isNull) {
    // the sizes each kind of value comes in
    const bool fits = type == kIntN     ? length == 1 || length == 2 || length == 4 || length == 8
                      : type == kFltN || type == kMoneyN || type == kDateTimeN ? length == 4 || length == 8
                      : type == kBitN   ? length == 1
                      : type == kGuid   ? length == 16
                                        : true;
    if (!fits) return false;
  }
  p.sqlType = SqlTypeOf(type, maxLength, length);
  // Kept as a float, an integer or text, these would come back as another type with another value.
  switch (type) {
    case kDecimal: case kDecimalN: p.refusedType = "decimal"; break;
    case kNumeric: case kNumericN: p.refusedType = "numeric"; break;
    case kMoney4: p.refusedType = "smallmoney"; break;
    case kMoney: p.refusedType = "money"; break;
    case kMoneyN: p.refusedType = maxLength == 4 ? "smallmoney" : "money"; break;
    case kGuid: p.refusedType = "uniqueidentifier"; break;
    default: break;
  }
  if (isNull || p.byDefault) {
    p.value = Value::Null();
  } else {
    p.value = Convert(type, scale, bytes);
  }
  return true;
}

}  // namespace

bool ParseRpc(const std::string& payload, std::vector<RpcCall>& calls, std::string& error) {
  Reader r(payload);
  const std::string malformed =
      "The incoming tabular data stream (TDS) remote procedure call (RPC) protocol stream is incorrect.";
  while (!r.AtEnd()) {
    RpcCall call;
    if (!r.Has(2)) return error = malformed, false;
    const auto nameLength = static_cast<size_t>(r.Le(2));
    if (nameLength == 0xFFFF) {
      if (!r.Has(2)) return error = malformed, false;
      call.procId = static_cast<uint16_t>(r.Le(2));
    } else {
      if (nameLength == 0 || !r.Has(nameLength * 2)) return error = malformed, false;
      call.name = FromUtf16(r.Bytes(nameLength * 2));
    }
    if (!r.Has(2)) return error = malformed, false;
    r.Le(2);  // option flags (recompile, no metadata): nothing to do here
    while (!r.AtEnd() && r.Peek() != 0x80 && r.Peek() != 0xFF && r.Peek() != 0xFE) {
      RpcParameter p;
      const auto length = static_cast<size_t>(r.Le(1));
      if (!r.Has(length * 2 + 1)) return error = malformed, false;
      p.name = FromUtf16(r.Bytes(length * 2));
      const auto status = static_cast<uint8_t>(r.Le(1));
      p.output = (status & 0x01) != 0;
      p.byDefault = (status & 0x02) != 0;
      if (!ReadTyped(r, p, error)) {
        if (error.empty()) error = malformed;
        return false;
      }
      call.parameters.push_back(std::move(p));
    }
    calls.push_back(std::move(call));
    if (!r.AtEnd()) r.Le(1);  // the separator of the next call
  }
  if (calls.empty()) return error = malformed, false;
  return true;
}

}  // namespace vx::tds
