#include "TdsSessionState.h"

#include <cctype>

#include "automation/ComError.h"

namespace vx::tds {

namespace {
// True when `batch` holds `word` (upper case) as a whole word, in any case.
bool HasWord(std::string_view batch, std::string_view word) {
  auto isWordChar = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '@'; };
  for (size_t i = 0; i + word.size() <= batch.size(); ++i) {
    if (i > 0 && isWordChar(batch[i - 1])) continue;
    size_t k = 0;
    while (k < word.size() && std::toupper(static_cast<unsigned char>(batch[i + k])) == word[k]) ++k;
    if (k == word.size() && (i + k == batch.size() || !isWordChar(batch[i + k]))) return true;
  }
  return false;
}

// ENVCHANGE and 5701 when the session's database is no longer the one the client knows.
void FollowDatabase(const std::string& database, SessionState& state, TdsWriter& w, const std::string& serverName) {
  if (database.empty() || database == state.database) return;
  w.EnvChange(1, database, state.database);
  // The server sends it at level 0 (a client takes a message of level 10 for a warning).
  sqlserver::ServerMessage m;
  m.number = 5701;
  m.severity = 0;
  m.text = "Changed database context to '" + database + "'.";
  w.Message(m, serverName);
  state.database = database;
}
}  // namespace

bool FollowKeptState(sqlserver::Session& session, SessionState& state, TdsWriter& w, const std::string& serverName) {
  std::string database;
  bool noCount = false;
  if (!session.CurrentState(database, noCount)) return false;
  state.noCount = noCount;
  FollowDatabase(database, state, w, serverName);
  return true;
}

void FollowSessionState(sqlserver::Session& session, const std::string* batch, SessionState& state, TdsWriter& w,
                        const std::string& serverName) {
  if (batch && !HasWord(*batch, "USE") && !HasWord(*batch, "NOCOUNT")) return;
  sqlserver::BatchResult r;
  try {
    r = session.Execute("SELECT DB_NAME(), @@OPTIONS");
  } catch (const ComError&) {
    return;
  }
  if (r.FirstError() || r.resultSets.empty() || r.resultSets[0].rows.empty() || r.resultSets[0].rows[0].size() < 2)
    return;
  const auto& row = r.resultSets[0].rows[0];
  if (!row[1].IsNull() && row[1].GetKind() == sqlserver::Value::Kind::Integer)
    state.noCount = (row[1].AsInt64() & 512) != 0;
  if (!row[0].IsNull()) FollowDatabase(row[0].AsText(), state, w, serverName);
}

}  // namespace vx::tds
