#pragma once
// What a client learns of its session's state besides results: the current
// database (ENVCHANGE and message 5701 where a request changes it) and NOCOUNT
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

// While a request runs, for a session that keeps its state (Session::CurrentState):
// takes its NOCOUNT and writes the database change if there is one. False when
// the session does not keep its state.
bool FollowKeptState(sqlserver::Session& session, SessionState& state, TdsWriter& w, const std::string& serverName);

// After a request, for a session that does not keep its state: when the request
// may have changed it (`batch` holds USE or NOCOUNT; nullptr: any request may),
// asks the session's database and NOCOUNT and writes the database change.
void FollowSessionState(sqlserver::Session& session, const std::string* batch, SessionState& state, TdsWriter& w,
                        const std::string& serverName);

}  // namespace vx::tds
