#pragma once
// The client's side of a login: PRELOGIN options and the LOGIN7 record.
#include <cstdint>
#include <string>

namespace vx::tds {

struct LoginRequest {
  uint32_t tdsVersion = 0;
  uint32_t packetSize = 4096;
  bool integratedSecurity = false;  // a Windows (SSPI) login
  std::string hostName, userName, password, appName, database;
};

// Reads a LOGIN7 record; false when it is malformed.
bool ParseLogin7(const std::string& payload, LoginRequest& login);
// The answer to a PRELOGIN: the server's version and no encryption.
std::string PreloginReply(const std::string& productVersion);

}  // namespace vx::tds
