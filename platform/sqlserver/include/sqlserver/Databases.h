#pragma once
// The databases collection of a server, in the server's order by name.
// Filled on first use; Refresh re-reads it from the server.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vx::sqlserver {

class Database;
namespace detail { struct ServerLink; }

class Databases {
 public:
  explicit Databases(std::weak_ptr<detail::ServerLink> link);
  ~Databases();

  // Re-reads the list (the optional argument of the original is ignored).
  // Raises err::kServerConnection when the connection is lost.
  void Refresh(bool releaseMemberObjects = false);
  // The database with that id. Raises err::kItemNotFound when there is none.
  // A database the login cannot access is still returned (its role facts raise).
  std::shared_ptr<Database> ItemByID(int32_t id);
  // The database of that name (case-insensitive); raises err::kItemNotFound.
  std::shared_ptr<Database> Item(const std::string& name);
  int32_t Count();
  // Enumeration in the collection's order (sorted by name).
  const std::vector<std::shared_ptr<Database>>& Items();

 private:
  void EnsureLoaded();
  std::weak_ptr<detail::ServerLink> link_;
  std::vector<std::shared_ptr<Database>> items_;
  bool loaded_ = false;
};

}  // namespace vx::sqlserver
