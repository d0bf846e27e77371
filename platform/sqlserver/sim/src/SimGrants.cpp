// GRANT, DENY and REVOKE of permissions on objects and on columns of views,
// kept as the server keeps them in sysprotects: one row per object, grantee and
// action, its columns a bitmap by colid (bit 0: all columns).
#include <algorithm>
#include <array>

#include "Executor.h"
#include "SimSession.h"
#include "SimStore.h"

namespace vx::sqlsim {

namespace {

// sysprotects.action
constexpr int kReferences = 26, kSelect = 193, kInsert = 195, kDelete = 196, kUpdate = 197, kExecute = 224;
// sysprotects.protecttype
constexpr int kGrantWithGrant = 204, kGrant = 205, kDeny = 206;

const char* ActionName(int action) {
  switch (action) {
    case kReferences: return "REFERENCES";
    case kSelect: return "SELECT";
    case kInsert: return "INSERT";
    case kDelete: return "DELETE";
    case kUpdate: return "UPDATE";
    default: return "EXECUTE";
  }
}

// The actions an object of that type takes permissions for.
std::vector<int> ActionsOf(const std::string& xtype) {
  if (xtype == "U" || xtype == "V" || xtype == "S") return {kSelect, kInsert, kUpdate, kDelete, kReferences};
  if (xtype == "P" || xtype == "X") return {kExecute};
  if (xtype == "FN") return {kExecute, kReferences};
  if (xtype == "IF" || xtype == "TF") return {kSelect, kReferences};
  return {};
}

// SELECT, UPDATE and REFERENCES of a whole object apply to all its columns (bit 0).
bool HasColumns(int action, const std::string& xtype) {
  return (action == kSelect || action == kUpdate || action == kReferences) && xtype != "FN";
}

// Whether a row's columns stand for the whole object: no bitmap, or bit 0 set.
bool WholeObject(const std::vector<uint8_t>& columns) { return columns.empty() || (columns[0] & 1) != 0; }

}  // namespace

void Executor::Permission(bool exec) {
  const std::string verb = Cur().value;
  ++pos_;
  bool grantOptionFor = false;
  if (verb == "REVOKE" && CurIs("GRANT") && IsWord(pos_ + 1, "OPTION") && IsWord(pos_ + 2, "FOR")) {
    grantOptionFor = true;
    pos_ += 3;
  }
  // permissions
  std::vector<int> actions;
  bool all = false;
  if (CurIs("ALL")) {
    all = true;
    ++pos_;
    if (CurIs("PRIVILEGES")) ++pos_;
  } else {
    for (;;) {
      const std::string w = Cur().kind == Tok::Word ? Cur().value : std::string();
      if (w == "SELECT") actions.push_back(kSelect);
      else if (w == "INSERT") actions.push_back(kInsert);
      else if (w == "UPDATE") actions.push_back(kUpdate);
      else if (w == "DELETE") actions.push_back(kDelete);
      else if (w == "REFERENCES") actions.push_back(kReferences);
      else if (w == "EXECUTE" || w == "EXEC") actions.push_back(kExecute);
      else if (w == "CREATE" || w == "BACKUP") throw Unsupported(verb + " of statement permissions");
      else SyntaxError(pos_);
      ++pos_;
      if (!IsSymbol(pos_, ",")) break;
      ++pos_;
    }
  }
  std::vector<std::string> columnNames;
  if (IsSymbol(pos_, "(")) columnNames = ParseColumnList();
  if (!CurIs("ON")) {
    if (CurIs("TO") || CurIs("FROM")) throw Unsupported(verb + " of statement permissions");
    SyntaxError(pos_);
  }
  ++pos_;
  const ObjectName object = ParseName();
  if (IsSymbol(pos_, "(")) {
    if (!columnNames.empty()) SyntaxError(pos_);
    columnNames = ParseColumnList();
  }
  if (!(CurIs("TO") || (verb == "REVOKE" && CurIs("FROM")))) SyntaxError(pos_);
  ++pos_;
  std::vector<std::string> grantees;
  for (;;) {
    if (CurIs("PUBLIC")) grantees.push_back("public");
    else if (IsIdentifier(pos_)) grantees.push_back(Cur().kind == Tok::Word ? Cur().text : Cur().value);
    else SyntaxError(pos_);
    ++pos_;
    if (!IsSymbol(pos_, ",")) break;
    ++pos_;
  }
  bool withGrantOption = false, cascade = false;
  if (verb == "GRANT" && CurIs("WITH")) {
    ++pos_;
    Expect("GRANT");
    Expect("OPTION");
    withGrantOption = true;
  }
  if (verb != "GRANT" && CurIs("CASCADE")) {
    ++pos_;
    cascade = true;
  }
  if (verb != "DENY" && CurIs("AS")) throw Unsupported(verb + " ... AS a group or role");
  if (!columnNames.empty() && (all || grantOptionFor || cascade))
    throw Unsupported(verb + (all ? " ALL" : grantOptionFor ? " GRANT OPTION FOR" : " ... CASCADE") + " on columns");
  if (!exec) return;

  const int32_t dbid = s_.currentDb_;
  if (object.parts.size() == 3 && !object.parts[0].empty() && s_.DatabaseId(object.parts[0]) != dbid)
    throw SimError{4610, 16, "You can only grant or revoke permissions on objects in the current database."};
  const std::optional<ObjectRow> obj = s_.ResolveName(object.parts);
  if (!obj) throw SimError{208, 16, "Invalid object name '" + object.text + "'."};
  const std::vector<int> applicable = ActionsOf(obj->xtype);
  if (all) {
    if (applicable.empty()) throw Unsupported(verb + " on an object of type " + obj->xtype);
    actions = applicable;
  }
  for (int a : actions)
    if (std::find(applicable.begin(), applicable.end(), a) == applicable.end())
      throw SimError{4606, 16,
                     std::string("Granted or revoked privilege ") + ActionName(a) + " is not compatible with object."};
  // The columns named, as a bitmap by colid.
  std::vector<uint8_t> bitmap;
  if (!columnNames.empty()) {
    if (obj->xtype != "V") throw Unsupported(verb + " on columns of an object of type " + obj->xtype);
    for (int a : actions)
      if (!HasColumns(a, obj->xtype)) throw Unsupported(verb + " " + ActionName(a) + " on columns");
    auto colid = s_.Db().Prepare("SELECT colid FROM main.viewcolumns WHERE dbid = ? AND id = ? AND name = ?");
    auto known = s_.Db().Prepare("SELECT 1 FROM main.viewcolumns WHERE dbid = ? AND id = ?");
    known.Bind(1, dbid).Bind(2, obj->id);
    if (!known.Step()) throw Unsupported(verb + " on columns of a view whose select list does not name them");
    for (const std::string& name : columnNames) {
      colid.Reset();
      colid.Bind(1, dbid).Bind(2, obj->id).Bind(3, name);
      if (!colid.Step()) throw SimError{207, 16, "Invalid column name '" + name + "'."};
      const int c = colid.Int(0);
      if (bitmap.size() <= static_cast<size_t>(c / 8)) bitmap.resize(c / 8 + 1);
      bitmap[c / 8] = static_cast<uint8_t>(bitmap[c / 8] | (1 << (c % 8)));
    }
  }

  // Who may: the object's owner, the database's owner and security administrators.
  const int32_t me = s_.EffectiveUid(dbid);
  auto& db = s_.Db();
  if (!(s_.IsSysadminNow() || me == 1 || me == obj->uid || s_.IsMember(dbid, me, "db_owner") ||
        s_.IsMember(dbid, me, "db_securityadmin"))) {
    auto held = db.Prepare("SELECT 1 FROM main.protects WHERE dbid = ? AND id = ? AND uid = ? AND protecttype = ?");
    held.Bind(1, dbid).Bind(2, obj->id).Bind(3, me).Bind(4, kGrantWithGrant);
    if (held.Step()) throw Unsupported(verb + " by a user who holds the permission WITH GRANT OPTION");
    throw SimError{4613, 16, "Grantor does not have GRANT permission."};
  }

  std::vector<int32_t> uids;
  for (const std::string& name : grantees) {
    auto uid = s_.UserUid(dbid, name);
    if (!uid) throw SimError{4604, 16, "There is no such user or group '" + name + "'."};
    if (*uid >= 16384 && *uid < 16400)
      throw SimError{4617, 16, "Cannot grant, deny or revoke permissions to or from special roles."};
    if (*uid == 1 || *uid == 3 || *uid == 4 || *uid == obj->uid)
      throw Unsupported(verb + " to the owner of the object or of the database");
    uids.push_back(*uid);
  }

  auto find = db.Prepare(
      "SELECT protecttype, columns FROM main.protects WHERE dbid = ? AND id = ? AND uid = ? AND action = ?");
  std::vector<uint8_t> held;  // the columns of the row `current` found
  auto current = [&](int32_t uid, int action) -> int {
    find.Reset();
    find.Bind(1, dbid).Bind(2, obj->id).Bind(3, uid).Bind(4, action);
    if (!find.Step()) return 0;
    held = find.IsNull(1) ? std::vector<uint8_t>{} : find.Blob(1);
    return find.Int(0);
  };
  // A permission on single columns and one on the whole object are not kept
  // side by side, nor merged: how the server keeps such pairs is not modelled.
  for (int32_t uid : uids)
    for (int a : actions) {
      if (current(uid, a) != 0 && WholeObject(held) != columnNames.empty())
        throw Unsupported(columnNames.empty() ? verb + " on a whole object of a permission held on single columns"
                                              : verb + " on single columns of a permission held on the whole object");
    }
  // Taking away what a grantee may grant on needs CASCADE; checked before any change.
  if (verb != "GRANT" && !cascade)
    for (int32_t uid : uids)
      for (int a : actions)
        if (current(uid, a) == kGrantWithGrant)
          throw SimError{4611, 16, "To revoke or deny grantable privileges, specify the CASCADE option."};

  s_.NeedWrite();
  auto put = db.Prepare(
      "INSERT OR REPLACE INTO main.protects(dbid, id, uid, action, protecttype, columns, grantor) "
      "VALUES (?, ?, ?, ?, ?, ?, ?)");
  auto remove = db.Prepare("DELETE FROM main.protects WHERE dbid = ? AND id = ? AND uid = ? AND action = ?");
  // CASCADE takes away what the grantee granted to others on the object.
  auto granted = db.Prepare(
      "DELETE FROM main.protects WHERE dbid = ? AND id = ? AND grantor = ? AND action = ? AND protecttype <> ?");
  for (int32_t uid : uids) {
    for (int a : actions) {
      const int was = current(uid, a);
      int type = 0;
      if (verb == "GRANT") type = withGrantOption || was == kGrantWithGrant ? kGrantWithGrant : kGrant;
      else if (verb == "DENY") type = kDeny;
      else if (grantOptionFor) type = was == kGrantWithGrant ? kGrant : was;
      if (cascade && was == kGrantWithGrant) {
        granted.Reset();
        granted.Bind(1, dbid).Bind(2, obj->id).Bind(3, uid).Bind(4, a).Bind(5, kDeny);
        granted.Step();
      }
      std::vector<uint8_t> columns = bitmap;
      if (!bitmap.empty() && was != 0) {
        // Columns added to, or taken from, the same permission on other columns.
        if (verb != "REVOKE" && was != type)
          throw Unsupported(verb + " on single columns of another kind of permission");
        columns = held;
        columns.resize(std::max(columns.size(), bitmap.size()));
        for (size_t i = 0; i < bitmap.size(); ++i)
          columns[i] = static_cast<uint8_t>(verb == "REVOKE" ? columns[i] & ~bitmap[i] : columns[i] | bitmap[i]);
        if (verb == "REVOKE")
          type = std::any_of(columns.begin(), columns.end(), [](uint8_t b) { return b != 0; }) ? was : 0;
      }
      if (type == 0) {
        remove.Reset();
        remove.Bind(1, dbid).Bind(2, obj->id).Bind(3, uid).Bind(4, a);
        remove.Step();
        continue;
      }
      put.Reset();
      put.Bind(1, dbid).Bind(2, obj->id).Bind(3, uid).Bind(4, a).Bind(5, type);
      if (!columns.empty()) put.BindBlob(6, columns);
      else if (HasColumns(a, obj->xtype)) put.BindBlob(6, std::vector<uint8_t>{0x01});
      else put.BindNull(6);
      put.Bind(7, me);
      put.Step();
    }
  }
}

}  // namespace vx::sqlsim
