#include "TdsWriter.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
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
  kDoneProc = 0xFE,
  kDoneInProc = 0xFF,
  kReturnStatus = 0x79,
  kReturnValue = 0xAC,
};
enum Wire : uint8_t { kIntN = 0x26, kFloatN = 0x6D, kDateTimeN = 0x6F, kNVarChar = 0xE7, kNText = 0x63 };
// SQL_Latin1_General_CP1_CI_AS
constexpr unsigned char kCollation[5] = {0x09, 0x04, 0xD0, 0x00, 0x34};
constexpr size_t kMaxNVarChar = 4000;  // characters
constexpr size_t kFlushAt = 32 * 1024;  // bytes of rows kept before they are handed on

using sqlserver::Value;
const Value kNull;

struct WireColumn {
  uint8_t type = kNVarChar;
  uint8_t size = 0;  // of fixed-length kinds
};

// UTF-16 code units of a UTF-8 text.
size_t Utf16Length(std::string_view utf8) {
  size_t n = 0;
  for (unsigned char ch : utf8) {
    if ((ch & 0xC0) != 0x80) ++n;
    if (ch >= 0xF0) ++n;  // a surrogate pair
  }
  return n;
}

// The wire type of a column follows the values it really holds: the rows are
// read once to learn them, then again to be written.
std::vector<WireColumn> Describe(const std::vector<sqlserver::Column>& columns, sqlserver::RowCursor& rows) {
  const size_t n = columns.size();
  struct Seen {
    bool allInt = true, allNumber = true, allDate = true, any = false, fitsInt32 = true, longText = false;
  };
  std::vector<Seen> seen(n);
  std::vector<Value> row;
  while (rows.Next(row)) {
    for (size_t c = 0; c < n && c < row.size(); ++c) {
      const Value& v = row[c];
      if (v.IsNull()) continue;
      Seen& s = seen[c];
      s.any = true;
      const auto k = v.GetKind();
      s.allInt = s.allInt && k == Value::Kind::Integer;
      s.allNumber = s.allNumber && (k == Value::Kind::Integer || k == Value::Kind::Float);
      s.allDate = s.allDate && k == Value::Kind::DateTime;
      if (k == Value::Kind::Integer) {
        const int64_t i = v.AsInt64();
        s.fitsInt32 = s.fitsInt32 && i >= INT32_MIN && i <= INT32_MAX;
      } else if (k == Value::Kind::Text && !s.longText) {
        s.longText = Utf16Length(v.AsText()) > kMaxNVarChar;
      }
    }
  }
  rows.Rewind();
  std::vector<WireColumn> wire(n);
  for (size_t c = 0; c < n; ++c) {
    const Seen& s = seen[c];
    if (!s.any) {
      switch (columns[c].kind) {
        case Value::Kind::Integer: wire[c] = {kIntN, 4}; break;
        case Value::Kind::Float: wire[c] = {kFloatN, 8}; break;
        case Value::Kind::DateTime: wire[c] = {kDateTimeN, 8}; break;
        default: wire[c] = {kNVarChar, 0};
      }
    } else if (s.allInt) {
      wire[c] = {kIntN, static_cast<uint8_t>(s.fitsInt32 ? 4 : 8)};
    } else if (s.allNumber) {
      wire[c] = {kFloatN, 8};
    } else if (s.allDate) {
      wire[c] = {kDateTimeN, 8};
    } else {
      wire[c] = {s.longText ? kNText : kNVarChar, 0};
    }
  }
  return wire;
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

void TdsWriter::ResultSet(const std::vector<sqlserver::Column>& columns, sqlserver::RowCursor& rows,
                          const std::function<void(TdsWriter&)>& flush) {
  const size_t n = columns.size();
  const std::vector<WireColumn> wire = Describe(columns, rows);

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
    BVarChar(columns[c].name);
  }
  std::vector<Value> row;
  std::u16string text;
  uint32_t count = 0;
  while (rows.Next(row)) {
    ++count;
    U8(kRow);
    for (size_t c = 0; c < n; ++c) {
      const Value& v = c < row.size() ? row[c] : kNull;
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
            text = sqlserver::Utf8ToUtf16(v.AsText());
            U16(static_cast<uint16_t>(text.size() * 2));
            Utf16(text);
          }
          break;
        case kNText:
          if (v.IsNull()) U8(0);
          else {
            U8(16);
            out_.append(16, '\x01');  // text pointer
            out_.append(8, '\0');     // timestamp
            text = sqlserver::Utf8ToUtf16(v.AsText());
            U32(static_cast<uint32_t>(text.size() * 2));
            Utf16(text);
          }
          break;
      }
    }
    if (out_.size() >= kFlushAt && flush) flush(*this);
  }
  DoneToken(inProcedure_ ? kDoneInProc : kDone, kDoneMore | kDoneCount, count);
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

void TdsWriter::Done(uint16_t status, uint32_t rowCount) { DoneToken(kDone, status, rowCount); }

void TdsWriter::DoneToken(uint8_t token, uint16_t status, uint32_t rowCount) {
  U8(token);
  U16(status);
  U16(token == kDoneProc ? 0xE0 : 0xC1);  // current command: EXECUTE, SELECT
  U32(rowCount);
}

void TdsWriter::DoneProc(uint16_t status) { DoneToken(kDoneProc, status, 0); }

void TdsWriter::ReturnStatus(int32_t status) {
  U8(kReturnStatus);
  U32(static_cast<uint32_t>(status));
}

void TdsWriter::ReturnValue(uint16_t ordinal, std::string_view name, std::string_view typeInfo,
                            std::string_view value) {
  U8(kReturnValue);
  U16(ordinal);
  BVarChar(name);
  U8(0x01);    // an output parameter
  U16(0);      // user type
  U16(0x0001); // nullable
  out_.append(typeInfo);
  out_.append(value);
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
