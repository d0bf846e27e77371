#pragma once
// A user table: its name and its triggers.
#include <cstdint>
#include <memory>
#include <string>

#include "sqlserver/ObjectCollection.h"
#include "sqlserver/ObjectInfo.h"

namespace vx::sqlserver {

class Trigger;
namespace detail { struct ServerLink; }

class Table {
 public:
  Table(std::weak_ptr<detail::ServerLink> link, ObjectInfo info);
  ~Table();

  const std::string& Name() const { return info_.name; }
  const std::string& Owner() const { return info_.owner; }
  int32_t ID() const { return info_.id; }
  const std::string& CreateDate() const { return info_.createDate; }

  ObjectCollection<Trigger>& Triggers();

 private:
  std::weak_ptr<detail::ServerLink> link_;
  ObjectInfo info_;
  std::unique_ptr<ObjectCollection<Trigger>> triggers_;
};

}  // namespace vx::sqlserver
