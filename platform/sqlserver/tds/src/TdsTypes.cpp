#include "TdsTypes.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "TdsText.h"

namespace vx::tds {

namespace {
// SQL_Latin1_General_CP1_CI_AS
constexpr unsigned char kCollation[5] = {0x09, 0x04, 0xD0, 0x00, 0x34};
constexpr size_t kMaxNVarChar = 4000;   // characters
constexpr size_t kMaxVarBinary = 8000;  // bytes
constexpr size_t kNumberAsText = 32;    // characters a number or a date takes at most as text

using sqlserver::Value;

void U8(std::string& out, uint8_t v) { out.push_back(static_cast<char>(v)); }
void Le(std::string& out, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) U8(out, static_cast<uint8_t>(v >> (8 * i)));
}

// What the values of one column need, learnt by reading its rows once.
struct Seen {
  bool any = false, allInt = true, allNumber = true, allDate = true, allDateOrNumber = true, allText = true;
  int64_t minInt = INT64_MAX, maxInt = INT64_MIN;
  size_t longestUnits = 0;  // UTF-16 code units of its longest value as text
  size_t longestBytes = 0;  // bytes of its longest text value

  void Add(const Value& v) {
    if (v.IsNull()) return;
    any = true;
    const auto k = v.GetKind();
    const bool number = k == Value::Kind::Integer || k == Value::Kind::Float;
    allInt = allInt && k == Value::Kind::Integer;
    allNumber = allNumber && number;
    allDate = allDate && k == Value::Kind::DateTime;
    allDateOrNumber = allDateOrNumber && (number || k == Value::Kind::DateTime);
    allText = allText && k == Value::Kind::Text;
    if (k == Value::Kind::Integer) {
      minInt = std::min(minInt, v.AsInt64());
      maxInt = std::max(maxInt, v.AsInt64());
    }
    if (k == Value::Kind::Text) {
      const std::string text = v.AsText();
      longestUnits = std::max(longestUnits, WireUnits(text));
      longestBytes = std::max(longestBytes, text.size());
    } else {
      longestUnits = std::max<size_t>(longestUnits, kNumberAsText);
    }
  }
  // A declared integer type holds every value of the column.
  bool IntegersFit(int64_t low, int64_t high) const { return allInt && (!any || (minInt >= low && maxInt <= high)); }
};

// The type of a column of unknown type follows the values it really holds.
WireColumn FromValues(const sqlserver::Column& column, const Seen& s) {
  if (!s.any) {
    switch (column.kind) {
      case Value::Kind::Integer: return {kIntN, 4, 0};
      case Value::Kind::Float: return {kFloatN, 8, 0};
      case Value::Kind::DateTime: return {kDateTimeN, 8, 0};
      default: return {kNVarChar, 0, kMaxNVarChar * 2};
    }
  }
  if (s.allInt) return {kIntN, static_cast<uint8_t>(s.IntegersFit(INT32_MIN, INT32_MAX) ? 4 : 8), 0};
  if (s.allNumber) return {kFloatN, 8, 0};
  if (s.allDate) return {kDateTimeN, 8, 0};
  if (s.longestUnits > kMaxNVarChar) return {kNText, 0, 0};
  return {kNVarChar, 0, kMaxNVarChar * 2};
}

// "nvarchar(128)" -> name "nvarchar", length 128 (-1 when none is written).
void ParseDeclared(const std::string& declared, std::string& name, long& length) {
  name.clear();
  length = -1;
  size_t i = 0;
  for (; i < declared.size() && declared[i] != '('; ++i)
    if (!std::isspace(static_cast<unsigned char>(declared[i])))
      name += static_cast<char>(std::tolower(static_cast<unsigned char>(declared[i])));
  if (i < declared.size()) length = std::strtol(declared.c_str() + i + 1, nullptr, 10);
}

WireColumn ChooseOne(const sqlserver::Column& column, const Seen& s) {
  if (column.sqlType.empty()) return FromValues(column, s);
  std::string name;
  long length = 0;
  ParseDeclared(column.sqlType, name, length);
  if (name == "bit" && s.IntegersFit(0, 1)) return {kBitN, 1, 0};
  if (name == "tinyint" && s.IntegersFit(0, 255)) return {kIntN, 1, 0};
  if (name == "smallint" && s.IntegersFit(INT16_MIN, INT16_MAX)) return {kIntN, 2, 0};
  if (name == "int" && s.IntegersFit(INT32_MIN, INT32_MAX)) return {kIntN, 4, 0};
  if (name == "bigint" && s.IntegersFit(INT64_MIN, INT64_MAX)) return {kIntN, 8, 0};
  if ((name == "float" || name == "real") && s.allNumber) return {kFloatN, 8, 0};
  if ((name == "datetime" || name == "smalldatetime") && s.allDateOrNumber) return {kDateTimeN, 8, 0};
  if (name == "nvarchar" || name == "nchar" || name == "varchar" || name == "char" || name == "sysname") {
    size_t room = name == "sysname" ? 128 : length > 0 && static_cast<size_t>(length) <= kMaxNVarChar
                                                ? static_cast<size_t>(length)
                                                : kMaxNVarChar;
    if (s.longestUnits > kMaxNVarChar) return {kNText, 0, 0};
    if (s.longestUnits > room) room = kMaxNVarChar;
    return {kNVarChar, 0, static_cast<uint16_t>(room * 2)};
  }
  if (name == "ntext" || name == "text") return {kNText, 0, 0};
  if ((name == "varbinary" || name == "binary" || name == "image") && s.allText) {
    size_t room = length > 0 && static_cast<size_t>(length) <= kMaxVarBinary ? static_cast<size_t>(length)
                                                                              : kMaxVarBinary;
    if (name == "image" || s.longestBytes > kMaxVarBinary) return {kImage, 0, 0};
    if (s.longestBytes > room) room = kMaxVarBinary;
    return {kBigVarBinary, 0, static_cast<uint16_t>(room)};
  }
  return FromValues(column, s);
}
}  // namespace

std::vector<WireColumn> ChooseWireTypes(const std::vector<sqlserver::Column>& columns, sqlserver::RowCursor& rows) {
  const size_t n = columns.size();
  std::vector<Seen> seen(n);
  std::vector<Value> row;
  while (rows.Next(row))
    for (size_t c = 0; c < n && c < row.size(); ++c) seen[c].Add(row[c]);
  rows.Rewind();
  std::vector<WireColumn> wire(n);
  for (size_t c = 0; c < n; ++c) wire[c] = ChooseOne(columns[c], seen[c]);
  return wire;
}

void AppendTypeInfo(std::string& out, const WireColumn& w) {
  U8(out, w.type);
  switch (w.type) {
    case kIntN:
    case kBitN:
    case kFloatN:
    case kDateTimeN: U8(out, w.size); break;
    case kNVarChar:
      Le(out, w.maxBytes, 2);
      out.append(reinterpret_cast<const char*>(kCollation), 5);
      break;
    case kBigVarBinary: Le(out, w.maxBytes, 2); break;
    case kNText:
      Le(out, 0x7FFFFFFF, 4);
      out.append(reinterpret_cast<const char*>(kCollation), 5);
      Le(out, 0, 2);  // table name
      break;
    case kImage:
      Le(out, 0x7FFFFFFF, 4);
      Le(out, 0, 2);  // table name
      break;
  }
}

void AppendCell(std::string& out, const WireColumn& w, const Value& v) {
  switch (w.type) {
    case kIntN:
    case kBitN:
      if (v.IsNull()) U8(out, 0);
      else {
        U8(out, w.size);
        Le(out, static_cast<uint64_t>(v.AsInt64()), w.size);
      }
      break;
    case kFloatN:
      if (v.IsNull()) U8(out, 0);
      else {
        const double d = v.AsDouble();
        uint64_t bits = 0;
        std::memcpy(&bits, &d, 8);
        U8(out, 8);
        Le(out, bits, 8);
      }
      break;
    case kDateTimeN:
      if (v.IsNull()) U8(out, 0);
      else {
        // days since 1900-01-01 and three-hundredths of a second since midnight
        const double ole = v.AsDate();
        const double whole = std::trunc(ole);
        const double fraction = std::fabs(ole - whole);
        int64_t ticks = std::llround(fraction * 86400.0 * 300.0);
        int32_t days = static_cast<int32_t>(whole) - 2;
        if (ticks >= 86400LL * 300) {
          ticks -= 86400LL * 300;
          ++days;
        }
        U8(out, 8);
        Le(out, static_cast<uint32_t>(days), 4);
        Le(out, static_cast<uint32_t>(ticks), 4);
      }
      break;
    case kNVarChar:
      if (v.IsNull()) Le(out, 0xFFFF, 2);
      else {
        const std::u16string s = WireText(v.AsText());
        Le(out, s.size() * 2, 2);
        for (char16_t ch : s) Le(out, ch, 2);
      }
      break;
    case kBigVarBinary:
      if (v.IsNull()) Le(out, 0xFFFF, 2);
      else {
        const std::string bytes = v.AsText();
        Le(out, bytes.size(), 2);
        out += bytes;
      }
      break;
    case kNText:
    case kImage:
      if (v.IsNull()) U8(out, 0);
      else {
        U8(out, 16);
        out.append(16, '\x01');  // text pointer
        out.append(8, '\0');     // timestamp
        if (w.type == kImage) {
          const std::string bytes = v.AsText();
          Le(out, bytes.size(), 4);
          out += bytes;
        } else {
          const std::u16string s = WireText(v.AsText());
          Le(out, s.size() * 2, 4);
          for (char16_t ch : s) Le(out, ch, 2);
        }
      }
      break;
  }
}

}  // namespace vx::tds
