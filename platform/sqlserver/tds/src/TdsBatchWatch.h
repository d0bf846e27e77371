#pragma once
// While a request runs: watches the client's socket for an attention or for the
// client going away, and asks the session to cancel the request when either
// comes (again and again until the request has ended, so a cancel that arrives
// as the request starts is not lost).
//
// One thread per connection does the watching (TdsWatcher), made at the first
// request and ended with the connection; each request arms and disarms it
// (TdsBatchWatch). An armed watcher waits a short grace time before it touches
// the socket, so a request that ends within it costs no more than a mutex and
// a notification each way; whatever the client sent meanwhile stays on the
// socket for the watcher, or for the connection after the request.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "TdsSocket.h"
#include "sqlserver/Session.h"

namespace vx::tds {

class TdsWatcher {
 public:
  explicit TdsWatcher(TdsSocket& socket) : socket_(socket) {}
  ~TdsWatcher();
  TdsWatcher(const TdsWatcher&) = delete;
  TdsWatcher& operator=(const TdsWatcher&) = delete;

  // Starts watching for a request of `session`, without waiting for the watcher;
  // false when there is no thread to watch with (the request runs unwatched).
  bool Arm(sqlserver::Session& session);
  // Ends the watch; afterwards the socket is the connection's alone again.
  void Disarm();
  // The client sent an attention (it was read off the socket) during the last watch.
  bool Attention() const { return attention_; }
  // The client closed its socket or the socket failed during the last watch.
  bool Dropped() const { return dropped_; }

 private:
  void Run();
  void Poll(sqlserver::Session& session, int wake);
  TdsSocket& socket_;
  std::mutex mutex_;
  std::condition_variable changed_;
  sqlserver::Session* session_ = nullptr;
  uint64_t requests_ = 0;  // arms so far: a new one starts a new grace time
  bool armed_ = false, polling_ = false, ending_ = false;
  std::atomic<bool> stop_{false}, attention_{false}, dropped_{false};
  int wake_ = -1;  // an eventfd Disarm writes to; without it the watch ends at its next look
  std::thread thread_;
};

// One request's watch: armed while it lives or until Stop.
class TdsBatchWatch {
 public:
  TdsBatchWatch(TdsWatcher& watcher, sqlserver::Session& session)
      : watcher_(watcher.Arm(session) ? &watcher : nullptr) {}
  ~TdsBatchWatch() { Stop(); }
  TdsBatchWatch(const TdsBatchWatch&) = delete;
  TdsBatchWatch& operator=(const TdsBatchWatch&) = delete;

  // Ends the watch; afterwards the socket is the connection's alone again.
  void Stop() {
    if (watcher_) watcher_->Disarm();
  }
  // The client sent an attention (it was read off the socket).
  bool Attention() const { return watcher_ && watcher_->Attention(); }
  // The client closed its socket or the socket failed.
  bool Dropped() const { return watcher_ && watcher_->Dropped(); }

 private:
  TdsWatcher* watcher_;  // nullptr: unwatched
};

}  // namespace vx::tds
