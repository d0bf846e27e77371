#pragma once
// A TDS 7.1 endpoint on the loopback interface in front of one server reached
// through a session factory (the simulator's, for `sqlsim serve` and the tests):
// PRELOGIN (no encryption), LOGIN7 with SQL logins, SQL batches and procedure
// calls (RPC) with their result sets (streamed as they are read) and messages,
// attention. One thread and one session per client;
// a session that is lost closes its client's socket. The simulator's sessions
// each hold a connection of their own to the server file (SQLite in its
// serialized mode), so clients need no lock of the listener's.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sqlserver/Session.h"

namespace vx::tds {

class TdsListener {
 public:
  // Binds 127.0.0.1:port (0: any free port). Raises ComError(err::kServerUnreachable)
  // when the port cannot be bound.
  TdsListener(std::shared_ptr<sqlserver::SessionFactory> factory, std::string serverName, uint16_t port = 0);
  ~TdsListener();
  TdsListener(const TdsListener&) = delete;
  TdsListener& operator=(const TdsListener&) = delete;

  uint16_t Port() const { return port_; }
  // A client that has not logged in this long after connecting is closed
  // (default 60 s; set before Start).
  void SetLoginTimeout(std::chrono::milliseconds timeout) { loginTimeout_ = timeout; }
  // Accepts clients until Stop; each client is served on a thread of its own.
  // A failing accept (no descriptors or memory left) is waited out; a client
  // whose thread cannot be made is closed.
  void Run();
  // Runs the accept loop on a thread of its own.
  void Start();
  // Stops accepting and closes every client socket; waits for the threads.
  void Stop();

 private:
  void Serve(int fd);
  std::shared_ptr<sqlserver::SessionFactory> factory_;
  std::string serverName_;
  int fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::chrono::milliseconds loginTimeout_{60000};
  std::thread acceptThread_;
  std::mutex mutex_;
  std::vector<std::thread> clients_;
  std::vector<std::thread::id> finished_;  // client threads that have ended, to be joined
  std::vector<int> clientFds_;
};

}  // namespace vx::tds
