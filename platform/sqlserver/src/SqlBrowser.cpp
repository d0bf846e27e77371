#include "sqlserver/SqlBrowser.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cctype>

namespace vx::sqlserver {

namespace {
std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}
}  // namespace

std::vector<std::string> SqlBrowser::ParseReply(const std::string& d) {
  std::vector<std::string> names;
  if (d.size() < 3 || static_cast<unsigned char>(d[0]) != 0x05) return names;
  const std::string text = d.substr(3);
  // key;value pairs; ";;" ends one instance
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find(";;", at);
    if (end == std::string::npos) end = text.size();
    std::string server, instance;
    size_t p = at;
    while (p < end) {
      size_t k = text.find(';', p);
      if (k == std::string::npos || k > end) break;
      size_t v = text.find(';', k + 1);
      if (v == std::string::npos || v > end) v = end;
      const std::string key = Upper(text.substr(p, k - p)), value = text.substr(k + 1, v - k - 1);
      if (key == "SERVERNAME") server = value;
      else if (key == "INSTANCENAME") instance = value;
      p = v + 1;
    }
    if (!server.empty())
      names.push_back(instance.empty() || Upper(instance) == "MSSQLSERVER" ? server : server + "\\" + instance);
    at = end + 2;
  }
  return names;
}

std::vector<std::string> SqlBrowser::Browse(int timeoutMs) {
  std::vector<std::string> names;
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return names;
  int one = 1, ttl = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
  ::setsockopt(fd, IPPROTO_IP, IP_TTL, &ttl, sizeof ttl);  // never beyond the local network
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(1434);
  to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
  const char ask = 0x02;
  if (::sendto(fd, &ask, 1, 0, reinterpret_cast<sockaddr*>(&to), sizeof to) == 1) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
      if (left <= 0) break;
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left)) <= 0) break;
      std::string buffer(65535, '\0');
      const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
      if (n <= 0) break;
      buffer.resize(static_cast<size_t>(n));
      for (auto& name : ParseReply(buffer)) names.push_back(std::move(name));
    }
  }
  ::close(fd);
  return names;
}

}  // namespace vx::sqlserver
