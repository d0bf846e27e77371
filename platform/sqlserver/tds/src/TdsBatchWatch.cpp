#include "TdsBatchWatch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <system_error>

namespace vx::tds {

namespace {
constexpr int kPollMs = 50;
// Most requests end well within this: their watch never touches the socket.
constexpr std::chrono::milliseconds kGrace{2};

void Signal(int fd) {
  if (fd < 0) return;
  const uint64_t one = 1;
  (void)!::write(fd, &one, sizeof one);
}
}  // namespace

TdsWatcher::~TdsWatcher() {
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
    stop_ = true;
    Signal(wake_);
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
  if (wake_ >= 0) ::close(wake_);
}

bool TdsWatcher::Arm(sqlserver::Session& session) {
  std::lock_guard lock(mutex_);
  // Disarm wakes the watch at once (without a descriptor to spare it ends at its next look).
  if (wake_ < 0) wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (!thread_.joinable()) {
    try {
      thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
      // No thread to spare: this request runs unwatched, as if the client waited.
      return false;
    }
  }
  session_ = &session;
  attention_ = false;
  dropped_ = false;
  armed_ = true;
  ++requests_;
  changed_.notify_all();
  return true;
}

void TdsWatcher::Disarm() {
  std::unique_lock lock(mutex_);
  if (!armed_) return;
  armed_ = false;
  if (!polling_) {
    // Still in its grace time (or not yet awake): nothing touched the socket.
    changed_.notify_all();
    return;
  }
  stop_ = true;
  Signal(wake_);
  changed_.wait(lock, [this] { return !polling_; });
}

void TdsWatcher::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return armed_ || ending_; });
    if (ending_) return;
    const uint64_t request = requests_;
    if (changed_.wait_for(lock, kGrace, [&] { return !armed_ || requests_ != request || ending_; })) continue;
    polling_ = true;
    stop_ = false;
    if (wake_ >= 0) {
      uint64_t left = 0;  // a wake-up the last watch did not need
      (void)!::read(wake_, &left, sizeof left);
    }
    sqlserver::Session& session = *session_;
    const int wake = wake_;
    lock.unlock();
    Poll(session, wake);
    lock.lock();
    polling_ = false;
    changed_.notify_all();
  }
}

void TdsWatcher::Poll(sqlserver::Session& session, int wake) {
  bool otherData = false;  // a request the client sent too early: left for the connection
  while (!stop_) {
    if (attention_ || dropped_) {
      session.Cancel();
      pollfd w{wake, POLLIN, 0};
      if (wake >= 0) ::poll(&w, 1, 20);
      else std::this_thread::sleep_for(std::chrono::milliseconds(20));
      continue;
    }
    pollfd fds[2] = {{socket_.Fd(), static_cast<short>(otherData ? POLLRDHUP : POLLIN | POLLRDHUP), 0},
                     {wake, POLLIN, 0}};
    const int ready = ::poll(fds, wake >= 0 ? 2 : 1, kPollMs);
    if (ready <= 0 || stop_) continue;
    const pollfd& p = fds[0];
    if (p.revents == 0) continue;
    unsigned char header[8];
    const ssize_t n = ::recv(socket_.Fd(), header, sizeof header, MSG_PEEK | MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
      dropped_ = true;
    } else if (n > 0 && header[0] == kAttention) {
      if (n < static_cast<ssize_t>(sizeof header)) continue;  // the rest of its header is on its way
      uint8_t type = 0;
      std::string ignored;
      if (socket_.Read(type, ignored)) attention_ = true;
      else dropped_ = true;
    } else if (n > 0) {
      otherData = true;
    } else if (p.revents & (POLLHUP | POLLERR)) {
      dropped_ = true;
    }
  }
}

}  // namespace vx::tds
