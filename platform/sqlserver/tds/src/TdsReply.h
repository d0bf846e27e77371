#pragma once
// The reply to one request, written as the session produces it: rows are handed
// to the socket whenever they fill a few packets, messages go out in their place
// among the result sets, the session's database change and NOCOUNT are followed
// where they happen, and the last packet carries the end of the message.
#include <stdexcept>
#include <string>

#include "TdsBatchWatch.h"
#include "TdsSessionState.h"
#include "TdsSocket.h"
#include "TdsWriter.h"
#include "sqlserver/Session.h"

namespace vx::tds {

// Raised out of a result set when the client has gone: the batch stops there.
struct ClientGone : std::runtime_error {
  ClientGone() : std::runtime_error("The client closed the connection.") {}
};

// Raised out of a result set when the client sent an attention or went away while
// the request ran: the request stops there and no more rows go out.
struct RequestStopped : std::runtime_error {
  RequestStopped() : std::runtime_error("The request was cancelled by the client.") {}
};

class TdsReply : public sqlserver::ResultSink {
 public:
  TdsReply(TdsSocket& socket, const std::string& serverName, sqlserver::Session& session, SessionState& state)
      : socket_(socket), serverName_(serverName), session_(session), state_(state), sentState_(state) {}
  void ResultSet(const std::vector<sqlserver::Column>& columns, sqlserver::RowCursor& rows) override;
  // Never raises: after the client has gone or stopped the request, messages are dropped.
  void Message(const sqlserver::ServerMessage& message) override;

  // The watch of the running request (nullptr: none); its attention or dropped
  // client stops the request at its next result set or its next packet of rows.
  void Watch(const TdsBatchWatch* watch) { watch_ = watch; }
  // Writes the session's database change, if any, and takes its NOCOUNT; a
  // session that does not keep its state is asked when `batch` may have changed
  // it (nullptr: whatever the request was). Between the runs of a request, or after.
  void FollowState(const std::string* batch);
  // Drops what was written and has not gone out, keeping what completes the
  // packets already sent (and the state the client knows from them): the reply
  // then ends where it stands.
  void DropUnsent();

  TdsWriter& Writer() { return writer_; }
  bool AnyError() const { return errors_ > 0; }
  int Errors() const { return errors_; }
  int32_t LastError() const { return lastError_; }
  bool Gone() const { return gone_; }
  // Writes the rest of the reply; false when the client has gone.
  bool Finish();

 private:
  void Flush();
  bool Stopping() const { return watch_ && (watch_->Attention() || watch_->Dropped()); }
  TdsSocket& socket_;
  const std::string& serverName_;
  sqlserver::Session& session_;
  SessionState& state_;
  SessionState sentState_;  // the state as what has gone out tells it
  const TdsBatchWatch* watch_ = nullptr;
  TdsWriter writer_;
  size_t unsentTail_ = 0;  // bytes of the buffer that complete the packets already sent
  int errors_ = 0;
  int32_t lastError_ = 0;
  bool gone_ = false;
  bool keptState_ = true;  // the session keeps its state (Session::CurrentState)
};

}  // namespace vx::tds
