#pragma once
// A collection of one kind of object of one database (stored procedures, views,
// tables, user-defined functions, or one table's triggers), ordered by name.
// Filled on first use; after Refresh the next use reads it again.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sqlserver/ObjectInfo.h"

namespace vx::sqlserver {

namespace detail {
struct ServerLink;

// Catalogue look-ups shared by every collection (implemented in the library).
// List: every object of the kind (a table's triggers when parentId != 0).
// Find: the object with that id; raises err::kItemNotFound when the id is not
// an object of that kind (a view id among stored procedures raises).
std::vector<ObjectInfo> ListObjects(const std::weak_ptr<ServerLink>& link, int32_t databaseId,
                                    const std::string& databaseName, ObjectKind kind, int32_t parentId);
ObjectInfo FindObject(const std::weak_ptr<ServerLink>& link, int32_t databaseId,
                      const std::string& databaseName, ObjectKind kind, int32_t parentId, int32_t id);
}  // namespace detail

template <class T>
class ObjectCollection {
 public:
  ObjectCollection(std::weak_ptr<detail::ServerLink> link, int32_t databaseId, std::string databaseName,
                   ObjectKind kind, int32_t parentId = 0)
      : link_(std::move(link)), databaseId_(databaseId), databaseName_(std::move(databaseName)),
        kind_(kind), parentId_(parentId) {}

  // Forgets the list read so far.
  // The list is read again at its next use, so a refresh before a look-up by id
  // costs nothing however large the database.
  void Refresh(bool /*releaseMemberObjects*/ = false) {
    items_.clear();
    loaded_ = false;
  }
  // The object with that id, read from the server now. Raises err::kItemNotFound
  // when the id is not an object of this collection's kind.
  std::shared_ptr<T> ItemByID(int32_t id) {
    return std::make_shared<T>(link_, detail::FindObject(link_, databaseId_, databaseName_, kind_, parentId_, id));
  }
  int32_t Count() { return static_cast<int32_t>(Items().size()); }
  const std::vector<std::shared_ptr<T>>& Items() {
    if (!loaded_) {
      for (auto& info : detail::ListObjects(link_, databaseId_, databaseName_, kind_, parentId_))
        items_.push_back(std::make_shared<T>(link_, std::move(info)));
      loaded_ = true;
    }
    return items_;
  }

 private:
  std::weak_ptr<detail::ServerLink> link_;
  int32_t databaseId_;
  std::string databaseName_;
  ObjectKind kind_;
  int32_t parentId_;
  std::vector<std::shared_ptr<T>> items_;
  bool loaded_ = false;
};

}  // namespace vx::sqlserver
