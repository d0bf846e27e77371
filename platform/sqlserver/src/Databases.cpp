#include "sqlserver/Databases.h"

#include <cctype>

#include "ServerLink.h"
#include "automation/ComError.h"
#include "sqlserver/Database.h"
#include "sqlserver/Names.h"
#include "sqlserver/ServerErrors.h"

namespace vx::sqlserver {

Databases::Databases(std::weak_ptr<detail::ServerLink> link) : link_(std::move(link)) {}
Databases::~Databases() = default;

void Databases::Refresh(bool) {
  auto link = detail::Lock(link_);
  auto rs = link->Query("", "SELECT name, dbid FROM master.dbo.sysdatabases ORDER BY name");
  std::vector<std::shared_ptr<Database>> items;
  for (const auto& row : rs.rows) items.push_back(std::make_shared<Database>(link_, row[1].AsInt32(), row[0].AsText()));
  items_ = std::move(items);
  loaded_ = true;
}

void Databases::EnsureLoaded() {
  if (!loaded_) Refresh();
}

std::shared_ptr<Database> Databases::ItemByID(int32_t id) {
  EnsureLoaded();
  for (const auto& d : items_)
    if (d->ID() == id) return d;
  // A database created since the last refresh is found too.
  Refresh();
  for (const auto& d : items_)
    if (d->ID() == id) return d;
  throw ComError(err::kItemNotFound, "Databases",
                 "[SQL-DMO]The database with id " + std::to_string(id) + " was not found in the Databases collection.");
}

std::shared_ptr<Database> Databases::Item(const std::string& name) {
  EnsureLoaded();
  for (const auto& d : items_)
    if (SameName(d->Name(), name)) return d;
  throw ComError(err::kItemNotFound, "Databases",
                 "[SQL-DMO]The name '" + name + "' was not found in the Databases collection.");
}

int32_t Databases::Count() {
  EnsureLoaded();
  return static_cast<int32_t>(items_.size());
}

const std::vector<std::shared_ptr<Database>>& Databases::Items() {
  EnsureLoaded();
  return items_;
}

}  // namespace vx::sqlserver
