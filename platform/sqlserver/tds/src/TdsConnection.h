#pragma once
// One client of the listener, from its PRELOGIN to the closing of its socket.
#include <memory>
#include <string>

#include "TdsSessionState.h"
#include "TdsSocket.h"
#include "sqlserver/Session.h"

namespace vx::tds {

class TdsConnection {
 public:
  TdsConnection(int fd, sqlserver::SessionFactory& factory, std::string serverName);
  void Run();

 private:
  bool Login(const std::string& payload);
  bool RefuseLogin(const std::vector<sqlserver::ServerMessage>& messages);
  bool Batch(const std::string& payload);

  TdsSocket socket_;
  sqlserver::SessionFactory& factory_;
  std::string serverName_;
  std::unique_ptr<sqlserver::Session> session_;
  SessionState state_;
};

}  // namespace vx::tds
