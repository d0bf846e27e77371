#pragma once
// The live simulated sessions of this process, so tests can break them, and the
// server process id (@@SPID) each one has.
#include <string>

namespace vx::sqlsim {

class SimSession;

class SessionRegistry {
 public:
  // Registers a session; its spid is the lowest one from 51 up that no live
  // session of the server has, as the server gives user connections theirs.
  static int Add(const std::string& serverName, SimSession* session);
  static void Remove(SimSession* session);
  // Breaks every live session of the server (name compared case-insensitively).
  static void BreakAll(const std::string& serverName);
};

}  // namespace vx::sqlsim
