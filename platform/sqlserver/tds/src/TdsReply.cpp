#include "TdsReply.h"

namespace vx::tds {

void TdsReply::Flush() {
  if (gone_) return;
  started_ = true;
  if (!socket_.Send(kReply, writer_.Buffer(), false)) gone_ = true;
}

void TdsReply::ResultSet(const std::vector<sqlserver::Column>& columns, sqlserver::RowCursor& rows) {
  if (gone_) throw ClientGone();
  writer_.ResultSet(columns, rows, [this](TdsWriter&) {
    Flush();
    if (gone_) throw ClientGone();
  });
}

void TdsReply::Message(const sqlserver::ServerMessage& message) {
  if (message.IsError()) {
    ++errors_;
    lastError_ = message.number;
  }
  if (gone_) return;
  writer_.Message(message, serverName_);
}

bool TdsReply::Finish() {
  if (gone_) return false;
  if (!socket_.Send(kReply, writer_.Buffer(), true)) gone_ = true;
  return !gone_;
}

}  // namespace vx::tds
