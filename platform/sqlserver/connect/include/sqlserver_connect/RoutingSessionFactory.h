#pragma once
// The one place that decides which session a server name gets: a simulated
// server when the simulator folder holds one of that name, otherwise a real
// server over ODBC. The engine is given this factory unless told otherwise.
#include <memory>
#include <string>
#include <vector>

#include "sqlserver/Session.h"

namespace vx::sqlserver {

class RoutingSessionFactory : public SessionFactory {
 public:
  // Defaults: the simulated servers of SimulatorFolder() and ODBC with its default options.
  RoutingSessionFactory(std::shared_ptr<SessionFactory> simulated = nullptr,
                        std::shared_ptr<SessionFactory> network = nullptr);
  bool HasServer(const std::string& serverName) const override;
  std::unique_ptr<Session> Open(const std::string& serverName, const Credentials& credentials,
                                const std::string& database) override;
  // The simulated servers (the network's names are ServerList's).
  std::vector<std::string> ServerNames() const override;

 private:
  std::shared_ptr<SessionFactory> simulated_;
  std::shared_ptr<SessionFactory> network_;
};

// The factory the program and the engine use by default.
std::shared_ptr<SessionFactory> MakeDefaultSessionFactory();

}  // namespace vx::sqlserver
