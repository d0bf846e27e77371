#pragma once
// The wire type of a result column and the encoding of its description and its
// cells. A column the session declares ("int", "datetime", "nvarchar(128)",
// "varbinary(8000)", ...) goes out as the server sends that type; a column of
// unknown type takes its type from the values it holds. A value never goes out
// cut: a text or binary value longer than its declared type holds makes the
// column NTEXT or IMAGE instead.
#include <cstdint>
#include <string>
#include <vector>

#include "sqlserver/Session.h"

namespace vx::tds {

enum Wire : uint8_t {
  kImage = 0x22,
  kIntN = 0x26,
  kNText = 0x63,
  kBitN = 0x68,
  kFloatN = 0x6D,
  kDateTimeN = 0x6F,
  kBigVarBinary = 0xA5,
  kNVarChar = 0xE7,
};

struct WireColumn {
  uint8_t type = kNVarChar;
  uint8_t size = 0;      // of fixed-length kinds (INTN, BITN, FLTN, DATETIMN)
  uint16_t maxBytes = 0;  // of NVARCHAR and BIGVARBINARY
};

// The wire types of a result set's columns: the rows are read once to learn what
// their values need (a column of unknown type, a value its declared type cannot
// hold), then rewound to be written.
std::vector<WireColumn> ChooseWireTypes(const std::vector<sqlserver::Column>& columns, sqlserver::RowCursor& rows);
// TYPE_INFO of a column description (after its user type and flags).
void AppendTypeInfo(std::string& out, const WireColumn& w);
// One cell of a ROW token.
void AppendCell(std::string& out, const WireColumn& w, const sqlserver::Value& v);

}  // namespace vx::tds
