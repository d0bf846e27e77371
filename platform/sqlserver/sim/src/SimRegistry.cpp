#include "SimRegistry.h"

#include <map>
#include <mutex>

#include "Lexer.h"
#include "SimSession.h"

namespace vx::sqlsim {

namespace {
std::mutex& Mutex() {
  static std::mutex m;
  return m;
}
std::multimap<std::string, SimSession*>& Sessions() {
  static std::multimap<std::string, SimSession*> s;
  return s;
}
}  // namespace

void SessionRegistry::Add(const std::string& serverName, SimSession* session) {
  std::lock_guard lock(Mutex());
  Sessions().emplace(Upper(serverName), session);
}

void SessionRegistry::Remove(SimSession* session) {
  std::lock_guard lock(Mutex());
  auto& s = Sessions();
  for (auto it = s.begin(); it != s.end();) {
    if (it->second == session) it = s.erase(it);
    else ++it;
  }
}

void SessionRegistry::BreakAll(const std::string& serverName) {
  std::lock_guard lock(Mutex());
  auto range = Sessions().equal_range(Upper(serverName));
  for (auto it = range.first; it != range.second; ++it) it->second->Break();
}

}  // namespace vx::sqlsim
