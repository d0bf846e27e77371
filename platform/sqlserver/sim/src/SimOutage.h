#pragma once
// Simulated servers taken down in this process (SimServer::SetDown).
#include <string>

namespace vx::sqlsim {

// True while the server (name compared case-insensitively) is down.
bool IsDown(const std::string& serverName);

}  // namespace vx::sqlsim
