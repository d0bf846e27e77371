#include "TdsReply.h"

namespace vx::tds {

void TdsReply::Flush() {
  if (gone_) return;
  if (!socket_.Send(kReply, writer_.Buffer(), false)) gone_ = true;
  unsentTail_ = writer_.Buffer().size();
  sentState_ = state_;
}

void TdsReply::ResultSet(const std::vector<sqlserver::Column>& columns, sqlserver::RowCursor& rows) {
  if (gone_) throw ClientGone();
  if (Stopping()) throw RequestStopped();
  if (keptState_) keptState_ = FollowKeptState(session_, state_, writer_, serverName_);
  writer_.ResultSet(
      columns, rows,
      [this](TdsWriter&) {
        if (Stopping()) throw RequestStopped();
        Flush();
        if (gone_) throw ClientGone();
      },
      !state_.noCount);
}

void TdsReply::Message(const sqlserver::ServerMessage& message) {
  if (message.IsError()) {
    ++errors_;
    lastError_ = message.number;
  }
  if (gone_ || Stopping()) return;
  if (keptState_) keptState_ = FollowKeptState(session_, state_, writer_, serverName_);
  writer_.Message(message, serverName_);
}

void TdsReply::FollowState(const std::string* batch) {
  if (gone_) return;
  if (keptState_ && FollowKeptState(session_, state_, writer_, serverName_)) return;
  keptState_ = false;
  FollowSessionState(session_, batch, state_, writer_, serverName_);
}

void TdsReply::DropUnsent() {
  writer_.Buffer().resize(unsentTail_);
  state_ = sentState_;
}

bool TdsReply::Finish() {
  if (gone_) return false;
  if (!socket_.Send(kReply, writer_.Buffer(), true)) gone_ = true;
  return !gone_;
}

}  // namespace vx::tds
