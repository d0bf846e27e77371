#pragma once
// The tokens of a server's reply, appended to one message: column descriptions
// and rows of a result set, DONE, ERROR and INFO, ENVCHANGE and LOGINACK.
#include <cstdint>
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
  // A whole result set: COLMETADATA, one ROW per row and a DONE (more, and count
  // unless the session runs with NOCOUNT on). Column types: TdsTypes.h.
  void ResultSet(const sqlserver::ResultSet& rs, bool withCount = true);
  void Message(const sqlserver::ServerMessage& m, const std::string& serverName);
  void Done(uint16_t status, uint32_t rowCount = 0);
  // ENVCHANGE of a text value (1 database, 2 language, 4 packet size).
  void EnvChange(uint8_t type, std::string_view newValue, std::string_view oldValue);
  void LoginAck(uint32_t tdsVersion, const std::string& productVersion);

  const std::string& Data() const { return out_; }
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
  std::string out_;
};

}  // namespace vx::tds
