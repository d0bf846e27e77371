#include <mutex>

#include "automation/ComError.h"
#include "sqlserver/ServerErrors.h"
#include "sqlserver/Session.h"

namespace vx::sqlserver {

namespace {

// Until the program installs its factory: no server is known.
class NoServers : public SessionFactory {
 public:
  bool HasServer(const std::string&) const override { return false; }
  std::unique_ptr<Session> Open(const std::string&, const Credentials&, const std::string&) override {
    throw ComError(err::kServerUnreachable, "SQLServer",
                   "[Microsoft][ODBC SQL Server Driver][DBNETLIB]SQL Server does not exist or access denied.");
  }
  std::vector<std::string> ServerNames() const override { return {}; }
};

std::mutex& Mutex() {
  static std::mutex m;
  return m;
}

std::shared_ptr<SessionFactory>& Installed() {
  static std::shared_ptr<SessionFactory> factory = std::make_shared<NoServers>();
  return factory;
}

bool installed = false;

}  // namespace

std::shared_ptr<SessionFactory> DefaultSessionFactory() {
  std::lock_guard lock(Mutex());
  return Installed();
}

void SetDefaultSessionFactory(std::shared_ptr<SessionFactory> factory) {
  std::lock_guard lock(Mutex());
  installed = factory != nullptr;
  Installed() = factory ? std::move(factory) : std::make_shared<NoServers>();
}

bool HasDefaultSessionFactory() {
  std::lock_guard lock(Mutex());
  return installed;
}

}  // namespace vx::sqlserver
