#include "SimOutage.h"

#include <mutex>
#include <set>

#include "Lexer.h"
#include "SimRegistry.h"
#include "sqlserver_sim/SimServer.h"

namespace vx::sqlsim {

namespace {
std::mutex& Mutex() {
  static std::mutex m;
  return m;
}
std::set<std::string>& Down() {
  static std::set<std::string> down;
  return down;
}
}  // namespace

void SimServer::SetDown(const std::string& name, bool down) {
  {
    std::lock_guard lock(Mutex());
    if (down)
      Down().insert(Upper(name));
    else
      Down().erase(Upper(name));
  }
  if (down) SessionRegistry::BreakAll(name);
}

bool IsDown(const std::string& serverName) {
  std::lock_guard lock(Mutex());
  return Down().count(Upper(serverName)) > 0;
}

}  // namespace vx::sqlsim
