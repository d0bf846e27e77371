#pragma once
// The live simulated sessions of this process, so tests can break them.
#include <string>

namespace vx::sqlsim {

class SimSession;

class SessionRegistry {
 public:
  static void Add(const std::string& serverName, SimSession* session);
  static void Remove(SimSession* session);
  // Breaks every live session of the server (name compared case-insensitively).
  static void BreakAll(const std::string& serverName);
};

}  // namespace vx::sqlsim
