#pragma once
// The reply to one request, written as the session produces it: rows are handed
// to the socket whenever they fill a few packets, messages go out in their place
// among the result sets, and the last packet carries the end of the message.
#include <stdexcept>
#include <string>

#include "TdsSocket.h"
#include "TdsWriter.h"
#include "sqlserver/Session.h"

namespace vx::tds {

// Raised out of a result set when the client has gone: the batch stops there.
struct ClientGone : std::runtime_error {
  ClientGone() : std::runtime_error("The client closed the connection.") {}
};

class TdsReply : public sqlserver::ResultSink {
 public:
  TdsReply(TdsSocket& socket, const std::string& serverName) : socket_(socket), serverName_(serverName) {}
  void ResultSet(const std::vector<sqlserver::Column>& columns, sqlserver::RowCursor& rows) override;
  // Never raises: after the client has gone, messages are dropped.
  void Message(const sqlserver::ServerMessage& message) override;

  TdsWriter& Writer() { return writer_; }
  bool AnyError() const { return errors_ > 0; }
  int Errors() const { return errors_; }
  int32_t LastError() const { return lastError_; }
  bool Gone() const { return gone_; }
  // True once part of the reply has gone out.
  bool Started() const { return started_; }
  // Writes the rest of the reply; false when the client has gone.
  bool Finish();

 private:
  void Flush();
  TdsSocket& socket_;
  const std::string& serverName_;
  TdsWriter writer_;
  int errors_ = 0;
  int32_t lastError_ = 0;
  bool gone_ = false;
  bool started_ = false;
};

}  // namespace vx::tds
