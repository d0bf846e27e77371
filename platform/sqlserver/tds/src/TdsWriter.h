#pragma once
// The tokens of a server's reply, appended to one message: column descriptions
// and rows of a result set, DONE, ERROR and INFO, ENVCHANGE and LOGINACK.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "sqlserver/Session.h"

namespace vx::tds {

enum DoneStatus : uint16_t {
  kDoneFinal = 0x00,
  kDoneMore = 0x01,
  kDoneError = 0x02,
  kDoneCount = 0x10,
  kDoneAttention = 0x20,
};

class TdsWriter {
 public:
  // A result set: COLMETADATA, one ROW per row and a DONE (more, and count unless
  // the session runs with NOCOUNT on), or a DONEINPROC inside a procedure call.
  // Column types: TdsTypes.h. `flush` is called whenever the rows written so far
  // fill a few packets, to hand them on.
  void ResultSet(const std::vector<sqlserver::Column>& columns, sqlserver::RowCursor& rows,
                 const std::function<void(TdsWriter&)>& flush = {}, bool withCount = true);
  void Message(const sqlserver::ServerMessage& m, const std::string& serverName);
  void Done(uint16_t status, uint32_t rowCount = 0);
  // The tokens that end a procedure call (RPC): its return status, the values of
  // its output parameters (TYPE_INFO and value as the request gave them) and DONEPROC.
  void ReturnStatus(int32_t status);
  void ReturnValue(uint16_t ordinal, std::string_view name, std::string_view typeInfo, std::string_view value);
  void DoneProc(uint16_t status);
  // Result sets end with DONEINPROC (in a procedure call) or DONE.
  void SetInProcedure(bool inProcedure) { inProcedure_ = inProcedure; }
  // ENVCHANGE of a text value (1 database, 2 language, 4 packet size).
  void EnvChange(uint8_t type, std::string_view newValue, std::string_view oldValue);
  void LoginAck(uint32_t tdsVersion, const std::string& productVersion);

  const std::string& Data() const { return out_; }
  std::string& Buffer() { return out_; }
  bool Empty() const { return out_.empty(); }

 private:
  void U8(uint8_t v) { out_.push_back(static_cast<char>(v)); }
  void U16(uint16_t v);
  void U32(uint32_t v);
  void U64(uint64_t v);
  void Utf16(std::u16string_view s);
  void BVarChar(std::string_view utf8);   // length in characters as one byte
  // Length in characters as two bytes; longer texts are cut to `limit` units.
  void UsVarChar(std::string_view utf8, size_t limit = 65535);
  void DoneToken(uint8_t token, uint16_t status, uint32_t rowCount);
  std::string out_;
  bool inProcedure_ = false;
};

}  // namespace vx::tds
