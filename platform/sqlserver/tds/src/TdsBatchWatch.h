#pragma once
// While a batch runs: watches the client's socket for an attention or for the
// client going away, and asks the session to cancel the batch when either
// comes (again and again until the batch has ended, so a cancel that arrives
// as the batch starts is not lost).
#include <atomic>
#include <thread>

#include "TdsSocket.h"
#include "sqlserver/Session.h"

namespace vx::tds {

class TdsBatchWatch {
 public:
  TdsBatchWatch(TdsSocket& socket, sqlserver::Session& session);
  ~TdsBatchWatch();
  TdsBatchWatch(const TdsBatchWatch&) = delete;
  TdsBatchWatch& operator=(const TdsBatchWatch&) = delete;

  // Ends the watch; afterwards the socket is the connection's alone again.
  void Stop();
  // The client sent an attention (it was read off the socket).
  bool Attention() const { return attention_; }
  // The client closed its socket or the socket failed.
  bool Dropped() const { return dropped_; }

 private:
  void Run();
  TdsSocket& socket_;
  sqlserver::Session& session_;
  std::atomic<bool> stop_{false}, attention_{false}, dropped_{false};
  int wake_ = -1;  // an eventfd Stop writes to
  std::thread thread_;
};

}  // namespace vx::tds
