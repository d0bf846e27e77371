#include "TdsSocket.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace vx::tds {

namespace {
constexpr size_t kHeader = 8;
constexpr uint8_t kEndOfMessage = 0x01;
constexpr size_t kMaxMessage = 64u << 20;  // a batch of 64 MB is not a client of ours
}  // namespace

TdsSocket::TdsSocket(int fd) : fd_(fd), maxMessage_(kMaxMessage) {}

TdsSocket::~TdsSocket() { Close(); }

void TdsSocket::LimitBeforeLogin(size_t maxMessage, std::chrono::steady_clock::time_point deadline) {
  maxMessage_ = maxMessage;
  deadline_ = deadline;
  hasDeadline_ = true;
}

void TdsSocket::LoggedIn() {
  maxMessage_ = kMaxMessage;
  hasDeadline_ = false;
}

void TdsSocket::Close() {
  if (fd_ < 0) return;
  ::shutdown(fd_, SHUT_RDWR);
  ::close(fd_);
  fd_ = -1;
}

void TdsSocket::SetPacketSize(uint32_t size) {
  if (size >= 512 && size <= 32767) packetSize_ = size;
}

bool TdsSocket::ReadExactly(char* buffer, size_t size) {
  while (size > 0) {
    if (hasDeadline_) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd p{fd_, POLLIN, 0};
      const int r = ::poll(&p, 1, static_cast<int>(std::min<int64_t>(left.count(), 60000)));
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) return false;
      if (r == 0) continue;  // the deadline is checked again
    }
    const ssize_t n = ::recv(fd_, buffer, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    buffer += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool TdsSocket::Read(uint8_t& type, std::string& payload) {
  if (fd_ < 0) return false;
  payload.clear();
  for (;;) {
    unsigned char h[kHeader];
    if (!ReadExactly(reinterpret_cast<char*>(h), kHeader)) return false;
    const size_t length = (static_cast<size_t>(h[2]) << 8) | h[3];
    if (length < kHeader || payload.size() + length > maxMessage_) return false;
    const size_t at = payload.size();
    payload.resize(at + length - kHeader);
    if (!ReadExactly(payload.data() + at, length - kHeader)) return false;
    type = h[0];
    if (h[1] & kEndOfMessage) return true;
  }
}

bool TdsSocket::Write(uint8_t type, const std::string& payload) {
  std::string buffer = payload;
  return Send(type, buffer, true);
}

bool TdsSocket::Send(uint8_t type, std::string& buffer, bool last) {
  if (fd_ < 0) return false;
  const size_t room = packetSize_ - kHeader;
  size_t at = 0;
  std::string packet;
  while (last ? (at < buffer.size() || (at == 0 && buffer.empty())) : buffer.size() - at >= room) {
    const size_t n = std::min(room, buffer.size() - at);
    const bool end = last && at + n == buffer.size();
    const size_t length = n + kHeader;
    packet.assign({static_cast<char>(type), static_cast<char>(end ? kEndOfMessage : 0),
                   static_cast<char>(length >> 8), static_cast<char>(length & 0xFF), 0, 0,
                   static_cast<char>(packetId_++), 0});
    packet.append(buffer, at, n);
    const char* p = packet.data();
    size_t left = packet.size();
    while (left > 0) {
      const ssize_t w = ::send(fd_, p, left, MSG_NOSIGNAL);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return false;
      p += w;
      left -= static_cast<size_t>(w);
    }
    at += n;
    if (end) break;
  }
  buffer.erase(0, at);
  return true;
}

bool TdsSocket::TakeWaitingAttention() {
  if (fd_ < 0) return false;
  unsigned char h[kHeader];
  const ssize_t n = ::recv(fd_, h, kHeader, MSG_PEEK | MSG_DONTWAIT);
  if (n != static_cast<ssize_t>(kHeader) || h[0] != kAttention) return false;
  std::string ignored;
  uint8_t type = 0;
  if (!Read(type, ignored)) return false;
  return true;
}

}  // namespace vx::tds
