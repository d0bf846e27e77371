#include "TdsBatchWatch.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <system_error>

namespace vx::tds {

namespace {
constexpr int kPollMs = 50;
}  // namespace

TdsBatchWatch::TdsBatchWatch(TdsSocket& socket, sqlserver::Session& session) : socket_(socket), session_(session) {
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    // No thread to spare: this batch runs unwatched, as if the client waited.
  }
}

TdsBatchWatch::~TdsBatchWatch() { Stop(); }

void TdsBatchWatch::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void TdsBatchWatch::Run() {
  bool otherData = false;  // a request the client sent too early: left for the connection
  while (!stop_) {
    if (attention_ || dropped_) {
      session_.Cancel();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      continue;
    }
    pollfd p{socket_.Fd(), static_cast<short>(otherData ? POLLRDHUP : POLLIN | POLLRDHUP), 0};
    const int ready = ::poll(&p, 1, kPollMs);
    if (ready <= 0) continue;
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
