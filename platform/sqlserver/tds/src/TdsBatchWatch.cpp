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
}  // namespace

TdsBatchWatch::TdsBatchWatch(TdsSocket& socket, sqlserver::Session& session) : socket_(socket), session_(session) {
  // Stop wakes the watch at once (without a descriptor to spare it ends at its next look).
  wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    // No thread to spare: this batch runs unwatched, as if the client waited.
  }
}

TdsBatchWatch::~TdsBatchWatch() {
  Stop();
  if (wake_ >= 0) ::close(wake_);
}

void TdsBatchWatch::Stop() {
  stop_ = true;
  if (wake_ >= 0) {
    const uint64_t one = 1;
    (void)!::write(wake_, &one, sizeof one);
  }
  if (thread_.joinable()) thread_.join();
}

void TdsBatchWatch::Run() {
  bool otherData = false;  // a request the client sent too early: left for the connection
  while (!stop_) {
    if (attention_ || dropped_) {
      session_.Cancel();
      pollfd w{wake_, POLLIN, 0};
      if (wake_ >= 0) ::poll(&w, 1, 20);
      else std::this_thread::sleep_for(std::chrono::milliseconds(20));
      continue;
    }
    pollfd fds[2] = {{socket_.Fd(), static_cast<short>(otherData ? POLLRDHUP : POLLIN | POLLRDHUP), 0},
                     {wake_, POLLIN, 0}};
    const int ready = ::poll(fds, wake_ >= 0 ? 2 : 1, kPollMs);
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
