#pragma once
// One client of the listener, from its PRELOGIN to the closing of its socket.
#include <memory>
#include <string>

#include "TdsBatchWatch.h"
#include "TdsRpc.h"
#include "TdsSessionState.h"
#include "TdsSocket.h"
#include "sqlserver/Session.h"

namespace vx::tds {

class TdsConnection {
 public:
  // A client must log in within `loginTimeout`.
  TdsConnection(int fd, sqlserver::SessionFactory& factory, std::string serverName,
                std::chrono::milliseconds loginTimeout);
  void Run();

 private:
  bool Login(const std::string& payload);
  bool RefuseLogin(const std::vector<sqlserver::ServerMessage>& messages);
  bool Batch(const std::string& payload);
  bool Rpc(const std::string& payload);
  bool EndReply(TdsReply& reply, const std::string& batch, uint16_t doneStatus, bool attention);
  bool EndStopped(TdsReply& reply);

  TdsSocket socket_;
  sqlserver::SessionFactory& factory_;
  std::string serverName_;
  std::unique_ptr<sqlserver::Session> session_;
  TdsRpc rpc_;
  SessionState state_;
  TdsWatcher watcher_{socket_};  // last: its thread ends before the socket and the session go
};

}  // namespace vx::tds
