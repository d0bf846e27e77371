#pragma once
// The SQL Server browser's answer to "which servers are there?" (UDP 1434),
// asked by broadcast on the local network only.
#include <string>
#include <vector>

namespace vx::sqlserver {

class SqlBrowser {
 public:
  // The servers that answer within `timeoutMs`: "HOST" for a default instance,
  // "HOST\INSTANCE" otherwise. Never raises; no answer gives an empty list.
  static std::vector<std::string> Browse(int timeoutMs);
  // The server names of one answer (0x05, length, "ServerName;H;InstanceName;I;...;;" repeated).
  static std::vector<std::string> ParseReply(const std::string& datagram);
};

}  // namespace vx::sqlserver
