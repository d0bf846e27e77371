#include "TdsWriter.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "sqlserver/Utf16.h"

namespace vx::tds {

namespace {
enum Token : uint8_t {
  kColMetadata = 0x81,
  kError = 0xAA,
  kInfo = 0xAB,
  kLoginAck = 0xAD,
  kRow = 0xD1,
  kEnvChange = 0xE3,
  kDone = 0xFD,
};
enum Wire : uint8_t { kIntN = 0x26, kFloatN = 0x6D, kDateTimeN = 0x6F, kNVarChar = 0xE7, kNText = 0x63 };
// SQL_Latin1_General_CP1_CI_AS
constexpr unsigned char kCollation[5] = {0x09, 0x04, 0xD0, 0x00, 0x34};
constexpr size_t kMaxNVarChar = 4000;  // characters

using sqlserver::Value;

struct WireColumn {
  uint8_t type = kNVarChar;
  uint8_t size = 0;  // of fixed-length kinds
};

// The wire type of a column follows the values it really holds.
WireColumn Describe(const sqlserver::ResultSet& rs, size_t c, std::vector<std::u16string>& texts) {
  bool allInt = true, allNumber = true, allDate = true, any = false, fitsInt32 = true;
  for (const auto& row : rs.rows) {
    const Value& v = row[c];
    if (v.IsNull()) continue;
    any = true;
    const auto k = v.GetKind();
    allInt = allInt && k == Value::Kind::Integer;
    allNumber = allNumber && (k == Value::Kind::Integer || k == Value::Kind::Float);
    allDate = allDate && k == Value::Kind::DateTime;
    if (k == Value::Kind::Integer) {
      const int64_t i = v.AsInt64();
      fitsInt32 = fitsInt32 && i >= INT32_MIN && i <= INT32_MAX;
    }
  }
  if (!any) {
    switch (rs.columns[c].kind) {
      case Value::Kind::Integer: return {kIntN, 4};
      case Value::Kind::Float: return {kFloatN, 8};
      case Value::Kind::DateTime: return {kDateTimeN, 8};
      default: return {kNVarChar, 0};
    }
  }
  if (allInt) return {kIntN, static_cast<uint8_t>(fitsInt32 ? 4 : 8)};
  if (allNumber) return {kFloatN, 8};
  if (allDate) return {kDateTimeN, 8};
  bool longText = false;
  for (const auto& row : rs.rows) {
    texts.push_back(row[c].IsNull() ? std::u16string() : sqlserver::Utf8ToUtf16(row[c].AsText()));
    longText = longText || texts.back().size() > kMaxNVarChar;
  }
  return {longText ? kNText : kNVarChar, 0};
}
}  // namespace

void TdsWriter::U16(uint16_t v) {
  U8(static_cast<uint8_t>(v & 0xFF));
  U8(static_cast<uint8_t>(v >> 8));
}
void TdsWriter::U32(uint32_t v) {
  U16(static_cast<uint16_t>(v & 0xFFFF));
  U16(static_cast<uint16_t>(v >> 16));
}
void TdsWriter::U64(uint64_t v) {
  U32(static_cast<uint32_t>(v & 0xFFFFFFFFu));
  U32(static_cast<uint32_t>(v >> 32));
}
void TdsWriter::Utf16(std::u16string_view s) {
  for (char16_t ch : s) U16(static_cast<uint16_t>(ch));
}
void TdsWriter::BVarChar(std::string_view utf8) {
  std::u16string s = sqlserver::Utf8ToUtf16(utf8);
  if (s.size() > 255) s.resize(255);
  U8(static_cast<uint8_t>(s.size()));
  Utf16(s);
}
void TdsWriter::UsVarChar(std::string_view utf8, size_t limit) {
  std::u16string s = sqlserver::Utf8ToUtf16(utf8);
  if (s.size() > limit) {
    s.resize(limit);
    if (!s.empty() && s.back() >= 0xD800 && s.back() <= 0xDBFF) s.pop_back();  // no half of a pair
  }
  U16(static_cast<uint16_t>(s.size()));
  Utf16(s);
}

void TdsWriter::ResultSet(const sqlserver::ResultSet& rs) {
  const size_t n = rs.columns.size();
  std::vector<WireColumn> wire(n);
  std::vector<std::vector<std::u16string>> texts(n);
  for (size_t c = 0; c < n; ++c) wire[c] = Describe(rs, c, texts[c]);

  U8(kColMetadata);
  U16(static_cast<uint16_t>(n));
  for (size_t c = 0; c < n; ++c) {
    U16(0);       // user type
    U16(0x0001);  // nullable
    U8(wire[c].type);
    switch (wire[c].type) {
      case kIntN:
      case kFloatN:
      case kDateTimeN: U8(wire[c].size); break;
      case kNVarChar:
        U16(kMaxNVarChar * 2);
        out_.append(reinterpret_cast<const char*>(kCollation), 5);
        break;
      case kNText:
        U32(0x7FFFFFFF);
        out_.append(reinterpret_cast<const char*>(kCollation), 5);
        U16(0);  // table name
        break;
    }
    BVarChar(rs.columns[c].name);
  }
  for (size_t r = 0; r < rs.rows.size(); ++r) {
    U8(kRow);
    for (size_t c = 0; c < n; ++c) {
      const Value& v = rs.rows[r][c];
      switch (wire[c].type) {
        case kIntN:
          if (v.IsNull()) U8(0);
          else if (wire[c].size == 4) {
            U8(4);
            U32(static_cast<uint32_t>(static_cast<int32_t>(v.AsInt64())));
          } else {
            U8(8);
            U64(static_cast<uint64_t>(v.AsInt64()));
          }
          break;
        case kFloatN:
          if (v.IsNull()) U8(0);
          else {
            const double d = v.AsDouble();
            uint64_t bits = 0;
            std::memcpy(&bits, &d, 8);
            U8(8);
            U64(bits);
          }
          break;
        case kDateTimeN:
          if (v.IsNull()) U8(0);
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
            U8(8);
            U32(static_cast<uint32_t>(days));
            U32(static_cast<uint32_t>(ticks));
          }
          break;
        case kNVarChar:
          if (v.IsNull()) U16(0xFFFF);
          else {
            U16(static_cast<uint16_t>(texts[c][r].size() * 2));
            Utf16(texts[c][r]);
          }
          break;
        case kNText:
          if (v.IsNull()) U8(0);
          else {
            U8(16);
            out_.append(16, '\x01');  // text pointer
            out_.append(8, '\0');     // timestamp
            U32(static_cast<uint32_t>(texts[c][r].size() * 2));
            Utf16(texts[c][r]);
          }
          break;
      }
    }
  }
  Done(kDoneMore | kDoneCount, static_cast<uint32_t>(rs.rows.size()));
}

void TdsWriter::Message(const sqlserver::ServerMessage& m, const std::string& serverName) {
  TdsWriter body;
  body.U32(static_cast<uint32_t>(m.number));
  body.U8(static_cast<uint8_t>(m.state));
  body.U8(static_cast<uint8_t>(m.severity));
  // A message token's length is two bytes: the server sends at most 4,000
  // characters of a message, as it does for PRINT.
  body.UsVarChar(m.text, 4000);
  body.BVarChar(serverName);
  body.BVarChar("");
  body.U16(static_cast<uint16_t>(m.line));
  U8(m.IsError() ? kError : kInfo);
  U16(static_cast<uint16_t>(body.out_.size()));
  out_ += body.out_;
}

void TdsWriter::Done(uint16_t status, uint32_t rowCount) {
  U8(kDone);
  U16(status);
  U16(0xC1);  // current command: SELECT
  U32(rowCount);
}

void TdsWriter::EnvChange(uint8_t type, std::string_view newValue, std::string_view oldValue) {
  TdsWriter body;
  body.U8(type);
  body.BVarChar(newValue);
  body.BVarChar(oldValue);
  U8(kEnvChange);
  U16(static_cast<uint16_t>(body.out_.size()));
  out_ += body.out_;
}

void TdsWriter::LoginAck(uint32_t tdsVersion, const std::string& productVersion) {
  // "8.00.2039": major, minor, build
  const char* p = productVersion.c_str();
  char* end = nullptr;
  const long major = std::strtol(p, &end, 10);
  const long minor = *end == '.' ? std::strtol(end + 1, &end, 10) : 0;
  const long build = *end == '.' ? std::strtol(end + 1, &end, 10) : 0;
  TdsWriter body;
  body.U8(1);  // T-SQL
  body.U8(static_cast<uint8_t>(tdsVersion >> 24));
  body.U8(static_cast<uint8_t>(tdsVersion >> 16));
  body.U8(static_cast<uint8_t>(tdsVersion >> 8));
  body.U8(static_cast<uint8_t>(tdsVersion));
  body.BVarChar("Microsoft SQL Server");
  body.U8(static_cast<uint8_t>(major));
  body.U8(static_cast<uint8_t>(minor));
  body.U8(static_cast<uint8_t>(build >> 8));
  body.U8(static_cast<uint8_t>(build & 0xFF));
  U8(kLoginAck);
  U16(static_cast<uint16_t>(body.out_.size()));
  out_ += body.out_;
}

}  // namespace vx::tds
