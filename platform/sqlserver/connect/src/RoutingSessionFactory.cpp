#include "sqlserver_connect/RoutingSessionFactory.h"

#include "sqlserver_odbc/OdbcSessionFactory.h"
#include "sqlserver_sim/SimServer.h"

namespace vx::sqlserver {

RoutingSessionFactory::RoutingSessionFactory(std::shared_ptr<SessionFactory> simulated,
                                             std::shared_ptr<SessionFactory> network)
    : simulated_(simulated ? std::move(simulated) : std::make_shared<sqlsim::SimSessionFactory>()),
      network_(network ? std::move(network) : std::make_shared<OdbcSessionFactory>()) {}

bool RoutingSessionFactory::HasServer(const std::string& serverName) const {
  return simulated_->HasServer(serverName) || network_->HasServer(serverName);
}

std::unique_ptr<Session> RoutingSessionFactory::Open(const std::string& serverName, const Credentials& credentials,
                                                     const std::string& database) {
  if (simulated_->HasServer(serverName)) return simulated_->Open(serverName, credentials, database);
  return network_->Open(serverName, credentials, database);
}

std::vector<std::string> RoutingSessionFactory::ServerNames() const { return simulated_->ServerNames(); }

std::shared_ptr<SessionFactory> MakeDefaultSessionFactory() { return std::make_shared<RoutingSessionFactory>(); }

}  // namespace vx::sqlserver
