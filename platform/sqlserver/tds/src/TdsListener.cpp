#include "sqlserver_tds/TdsListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "TdsConnection.h"
#include "automation/ComError.h"
#include "sqlserver/ServerErrors.h"

namespace vx::tds {

TdsListener::TdsListener(std::shared_ptr<sqlserver::SessionFactory> factory, std::string serverName, uint16_t port)
    : factory_(std::move(factory)), serverName_(std::move(serverName)) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0)
    throw ComError(err::kServerUnreachable, "TdsListener", std::string("Cannot make a socket: ") + std::strerror(errno));
  int one = 1;
  ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd_, 64) != 0 ||
      ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    const std::string why = std::strerror(errno);
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    throw ComError(err::kServerUnreachable, "TdsListener", "Cannot listen on 127.0.0.1:" + std::to_string(port) +
                                                               ": " + why);
  }
  port_ = ntohs(a.sin_port);
}

TdsListener::~TdsListener() { Stop(); }

void TdsListener::Start() {
  acceptThread_ = std::thread([this] { Run(); });
}

void TdsListener::Run() {
  while (!stopping_) {
    const int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) {
      const int e = errno;
      if (stopping_ || e == EBADF || e == EINVAL || e == ENOTSOCK) break;
      if (e == EINTR || e == ECONNABORTED) continue;
      // Out of descriptors or memory (EMFILE, ENFILE, ENOBUFS, ENOMEM...): clients
      // that end free them; wait a little, as the waiting clients stay queued.
      pollfd p{fd_, 0, 0};
      ::poll(&p, 1, 100);
      continue;
    }
    int one = 1;
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::vector<std::thread> ended;
    {
      std::lock_guard lock(mutex_);
      if (stopping_) {
        ::close(client);
        break;
      }
      // Threads of clients that have gone are joined here, so a long-running
      // listener holds no more threads than it has clients.
      for (auto it = clients_.begin(); it != clients_.end();) {
        if (std::find(finished_.begin(), finished_.end(), it->get_id()) != finished_.end()) {
          ended.push_back(std::move(*it));
          it = clients_.erase(it);
        } else {
          ++it;
        }
      }
      finished_.clear();
      clientFds_.push_back(client);
      try {
        clients_.emplace_back([this, client] { Serve(client); });
      } catch (const std::system_error&) {
        // No thread for this client (the process is at its limit): only it ends.
        clientFds_.pop_back();
        ::close(client);
      }
    }
    for (auto& t : ended) t.join();
  }
}

void TdsListener::Serve(int fd) {
  TdsConnection connection(fd, *factory_, serverName_, loginTimeout_);
  try {
    connection.Run();
  } catch (...) {
  }
  // Forgotten before the socket closes, so Stop never touches a reused descriptor.
  std::lock_guard lock(mutex_);
  clientFds_.erase(std::remove(clientFds_.begin(), clientFds_.end(), fd), clientFds_.end());
  finished_.push_back(std::this_thread::get_id());
}

void TdsListener::Stop() {
  if (stopping_.exchange(true)) return;
  if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
  if (acceptThread_.joinable()) acceptThread_.join();
  std::vector<std::thread> threads;
  {
    std::lock_guard lock(mutex_);
    for (int c : clientFds_) ::shutdown(c, SHUT_RDWR);
    threads.swap(clients_);
  }
  for (auto& t : threads)
    if (t.joinable()) t.join();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace vx::tds
