#include "ServerLink.h"

#include "automation/ComError.h"
#include "sqlserver/ServerErrors.h"

namespace vx::sqlserver::detail {

namespace {
constexpr const char* kSource = "SQLServer";
[[noreturn]] void Lost() {
  throw ComError(err::kServerConnection, kSource,
                 "[SQL-DMO]The connection to the server is closed or was lost.");
}
}  // namespace

std::shared_ptr<ServerLink> Lock(const std::weak_ptr<ServerLink>& link) {
  auto l = link.lock();
  if (!l || l->closed) Lost();
  return l;
}

BatchResult ServerLink::RunMain(std::string_view batch) {
  if (closed || !main) Lost();
  return main->Execute(batch);
}

ResultSet ServerLink::Query(const std::string& database, const std::string& sql) {
  if (closed || !main) Lost();
  if (!meta || !meta->IsAlive()) {
    if (meta || !main->IsAlive()) Lost();
    try {
      meta = factory->Open(serverName, credentials, "");
    } catch (const ComError&) {
      if (established) Lost();  // the server went away after the connection was made
      throw;
    }
    metaDatabase.clear();
  }
  if (!database.empty() && database != metaDatabase) {
    auto r = meta->Execute("USE " + Bracket(database));
    RaiseFirstError(r, kSource);
    metaDatabase = database;
  }
  auto r = meta->Execute(sql);
  RaiseFirstError(r, kSource);
  if (r.resultSets.empty()) return {};
  return std::move(r.resultSets.front());
}

bool ServerLink::Alive() const { return !closed && main && main->IsAlive() && (!meta || meta->IsAlive()); }

void ServerLink::Close() {
  closed = true;
  if (meta) meta->Close();
  if (main) main->Close();
}

}  // namespace vx::sqlserver::detail
