#include "sqlserver/Databases.h"

#include <algorithm>
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
  items.reserve(rs.rows.size());
  for (const auto& row : rs.rows) {
    const int32_t id = row[1].AsInt32();
    const std::string name = row[0].AsText();
    // A database still there keeps its object, with the collections read of it.
    auto kept = std::find_if(items_.begin(), items_.end(),
                             [&](const auto& d) { return d->ID() == id && d->Name() == name; });
    items.push_back(kept != items_.end() ? *kept : std::make_shared<Database>(link_, id, name));
  }
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
