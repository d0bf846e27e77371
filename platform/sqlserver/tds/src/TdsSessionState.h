#pragma once
// What a client learns of its session's state besides results: the current
// database (ENVCHANGE and message 5701 when a batch changes it) and NOCOUNT
// (DONE tokens without a row count while it is on).
#include <string>
#include <string_view>

#include "TdsWriter.h"
#include "sqlserver/Session.h"

namespace vx::tds {

struct SessionState {
  std::string database;
  bool noCount = false;
};

// After a batch that may have changed them (it holds USE or NOCOUNT), reads the
// session's database and NOCOUNT; writes the database change when there is one.
void FollowSessionState(sqlserver::Session& session, std::string_view batch, SessionState& state, TdsWriter& w,
                        const std::string& serverName);

}  // namespace vx::tds
