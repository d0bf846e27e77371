#include <mutex>
#include <vector>

#include "automation/ComError.h"
#include "sqlserver/ServerErrors.h"
#include "sqlserver/Session.h"
#include "sqlserver_sim/SimServer.h"

namespace vx::sqlserver {

namespace {

// The simulator first, then whatever was added (e.g. ODBC).
class ChainFactory : public SessionFactory {
 public:
  bool HasServer(const std::string& serverName) const override {
    for (const auto& f : Factories())
      if (f->HasServer(serverName)) return true;
    return false;
  }
  std::unique_ptr<Session> Open(const std::string& serverName, const Credentials& credentials,
                                const std::string& database) override {
    for (const auto& f : Factories())
      if (f->HasServer(serverName)) return f->Open(serverName, credentials, database);
    throw ComError(err::kServerUnreachable, "SQLServer",
                   "[Microsoft][ODBC SQL Server Driver][DBNETLIB]SQL Server does not exist or access denied.");
  }
  std::vector<std::string> ServerNames() const override {
    std::vector<std::string> names;
    for (const auto& f : Factories())
      for (auto& n : f->ServerNames()) names.push_back(std::move(n));
    return names;
  }

  static std::mutex& Mutex() {
    static std::mutex m;
    return m;
  }
  static std::vector<std::shared_ptr<SessionFactory>>& List() {
    static std::vector<std::shared_ptr<SessionFactory>> list{std::make_shared<sqlsim::SimSessionFactory>()};
    return list;
  }
  static std::vector<std::shared_ptr<SessionFactory>> Factories() {
    std::lock_guard lock(Mutex());
    return List();
  }
};

}  // namespace

std::shared_ptr<SessionFactory> DefaultSessionFactory() {
  static auto factory = std::make_shared<ChainFactory>();
  return factory;
}

void AddSessionFactory(std::shared_ptr<SessionFactory> factory) {
  if (!factory) return;
  std::lock_guard lock(ChainFactory::Mutex());
  ChainFactory::List().push_back(std::move(factory));
}

}  // namespace vx::sqlserver
