#include "TdsWriter.h"

#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "TdsTypes.h"
#include "TdsText.h"

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
constexpr size_t kFlushAt = 32 * 1024;  // bytes of rows kept before they are handed on

const sqlserver::Value kNull;
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
  std::u16string s = WireText(utf8);
  if (s.size() > 255) s.resize(255);
  U8(static_cast<uint8_t>(s.size()));
  Utf16(s);
}
void TdsWriter::UsVarChar(std::string_view utf8, size_t limit) {
  std::u16string s = WireText(utf8);
  if (s.size() > limit) {
    s.resize(limit);
    if (!s.empty() && s.back() >= 0xD800 && s.back() <= 0xDBFF) s.pop_back();  // no half of a pair
  }
  U16(static_cast<uint16_t>(s.size()));
  Utf16(s);
}

void TdsWriter::ResultSet(const std::vector<sqlserver::Column>& columns, sqlserver::RowCursor& rows,
                          const std::function<void(TdsWriter&)>& flush, bool withCount) {
  const size_t n = columns.size();
  const std::vector<WireColumn> wire = ChooseWireTypes(columns, rows);

  U8(kColMetadata);
  U16(static_cast<uint16_t>(n));
  for (size_t c = 0; c < n; ++c) {
    U16(0);       // user type
    U16(0x0001);  // nullable
    AppendTypeInfo(out_, wire[c]);
    BVarChar(columns[c].name);
  }
  std::vector<sqlserver::Value> row;
  uint32_t count = 0;
  while (rows.Next(row)) {
    ++count;
    U8(kRow);
    for (size_t c = 0; c < n; ++c) AppendCell(out_, wire[c], c < row.size() ? row[c] : kNull);
    if (out_.size() >= kFlushAt && flush) flush(*this);
  }
  DoneToken(inProcedure_ ? kDoneInProc : kDone, withCount ? kDoneMore | kDoneCount : kDoneMore, count);
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
