#include "SimRegistry.h"

#include <map>
#include <mutex>
#include <set>

#include "Lexer.h"
#include "SimSession.h"

namespace vx::sqlsim {

namespace {
std::mutex& Mutex() {
  static std::mutex m;
  return m;
}
struct Live {
  SimSession* session;
  int spid;
};
std::multimap<std::string, Live>& Sessions() {
  static std::multimap<std::string, Live> s;
  return s;
}
constexpr int kFirstUserSpid = 51;
}  // namespace

int SessionRegistry::Add(const std::string& serverName, SimSession* session) {
  std::lock_guard lock(Mutex());
  const std::string key = Upper(serverName);
  std::set<int> taken;
  auto range = Sessions().equal_range(key);
  for (auto it = range.first; it != range.second; ++it) taken.insert(it->second.spid);
  int spid = kFirstUserSpid;
  while (taken.count(spid)) ++spid;
  Sessions().emplace(key, Live{session, spid});
  return spid;
}

void SessionRegistry::Remove(SimSession* session) {
  std::lock_guard lock(Mutex());
  auto& s = Sessions();
  for (auto it = s.begin(); it != s.end();) {
    if (it->second.session == session) it = s.erase(it);
    else ++it;
  }
}

void SessionRegistry::BreakAll(const std::string& serverName) {
  std::lock_guard lock(Mutex());
  auto range = Sessions().equal_range(Upper(serverName));
  for (auto it = range.first; it != range.second; ++it) it->second.session->Break();
}

}  // namespace vx::sqlsim
