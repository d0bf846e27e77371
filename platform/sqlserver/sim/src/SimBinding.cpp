// The names a view or function uses, checked as the server checks them when it
// is created, and schema binding: what a schema-bound module references cannot
// be altered or dropped while it exists.
#include <algorithm>
#include <set>

#include "Executor.h"
#include "SimSession.h"
#include "SimStore.h"

namespace vx::sqlsim {

namespace {
bool IsModule(const std::string& xtype) { return xtype == "V" || xtype == "FN" || xtype == "IF" || xtype == "TF"; }

bool IsBound(sqlite::Database& db, int32_t dbid, int32_t id) {
  auto st = db.Prepare("SELECT 1 FROM main.bound WHERE dbid = ? AND id = ?");
  st.Bind(1, dbid).Bind(2, id);
  return st.Step();
}
}  // namespace

std::vector<Executor::Reference> Executor::BodyReferences(size_t bodyStart) const {
  std::vector<Reference> refs;
  std::set<size_t> named;  // tokens read as names of a FROM list
  // [db.][owner.]name at k, k moved past it.
  auto readName = [&](size_t& k, Reference& r) {
    const size_t start = k;
    for (;;) {
      if (IsIdentifier(k)) {
        r.parts.push_back(Tk(k).kind == Tok::Word ? Tk(k).text : Tk(k).value);
        named.insert(k++);
      } else if (IsSymbol(k, ".") && !r.parts.empty()) {
        r.parts.push_back("");  // db..name
      } else {
        return false;
      }
      if (!IsSymbol(k, ".")) break;
      ++k;
    }
    r.text = std::string(batch_.substr(Tk(start).begin, Tk(k - 1).end - Tk(start).begin));
    r.call = IsSymbol(k, "(");
    return true;
  };
  auto skipParens = [&](size_t& k) {
    for (int depth = 0; Tk(k).kind != Tok::End; ++k) {
      if (IsSymbol(k, "(")) ++depth;
      else if (IsSymbol(k, ")") && --depth == 0) {
        ++k;
        return;
      }
    }
  };
  for (size_t i = bodyStart; Tk(i).kind != Tok::End; ++i) {
    if (IsWord(i, "FROM") || IsWord(i, "JOIN")) {
      size_t k = i + 1;
      for (;;) {
        Reference r;
        if (!readName(k, r)) break;  // a derived table or a table variable
        refs.push_back(r);
        if (r.call) break;  // its arguments are read as the rest of the body
        if (IsWord(k, "AS")) ++k;
        if (IsIdentifier(k)) ++k;  // an alias
        if (IsWord(k, "WITH") && IsSymbol(k + 1, "(")) ++k;
        if (IsSymbol(k, "(")) skipParens(k);  // table hints
        if (!IsWord(i, "FROM") || !IsSymbol(k, ",")) break;
        ++k;
      }
    } else if (!named.count(i) && IsIdentifier(i) && IsSymbol(i + 1, ".") && IsIdentifier(i + 2) &&
               IsSymbol(i + 3, "(") && !IsSymbol(i - 1, ".")) {
      Reference r;  // owner.function(...)
      r.parts = {Tk(i).kind == Tok::Word ? Tk(i).text : Tk(i).value,
                 Tk(i + 2).kind == Tok::Word ? Tk(i + 2).text : Tk(i + 2).value};
      r.text = std::string(batch_.substr(Tk(i).begin, Tk(i + 2).end - Tk(i).begin));
      r.call = true;
      refs.push_back(r);
    }
  }
  return refs;
}

std::vector<int32_t> Executor::CheckReferences(const Header& h, int32_t dbid, int32_t ownerUid) {
  const bool view = h.xtype == "V";
  const std::vector<Reference> refs = BodyReferences(h.bodyStart);
  if (h.schemaBound) {
    for (size_t i = h.bodyStart; Tk(i).kind != Tok::End; ++i)
      if (IsSymbol(i, "*") && (IsWord(i - 1, "SELECT") || IsSymbol(i - 1, ",") || IsSymbol(i - 1, ".")))
        throw SimError{1054, 16, "Syntax '*' is not allowed in schema-bound objects."};
    for (const Reference& r : refs) {
      const bool self = r.parts.size() == 2 && Upper(r.parts[1]) == Upper(h.name.Name()) &&
                        s_.UserUid(dbid, r.parts[0]) == std::optional<int32_t>(ownerUid);
      if (r.parts.size() != 2 || r.parts[0].empty() || self)
        throw SimError{4512, 16, std::string("Cannot schema bind ") + (view ? "view" : "function") + " '" +
                                     h.name.text + "' because name '" + r.text +
                                     "' is invalid for schema binding. Names must be in two-part format and an "
                                     "object cannot reference itself."};
    }
  }
  std::vector<int32_t> ids;
  for (const Reference& r : refs) {
    const std::string& last = r.parts.back();
    if (last.empty() || last[0] == '#' || r.parts.size() > 2) continue;  // temporary, in another database
    if (r.parts.size() == 2 && Upper(r.parts[0]) == "INFORMATION_SCHEMA") continue;
    std::optional<ObjectRow> obj = s_.ResolveName(r.parts);
    if (!obj && r.parts.size() == 1) obj = s_.ResolveName({s_.UserName(dbid, ownerUid), last});  // the view's owner's
    if (!obj) {
      // The server's own tables are found in master; a function called is looked up when the view runs.
      if (!h.schemaBound && (r.call || Upper(last).rfind("SYS", 0) == 0)) continue;
      if (view || h.schemaBound) throw SimError{208, 16, "Invalid object name '" + r.text + "'."};
      continue;
    }
    if (!h.schemaBound) continue;
    if (obj->xtype == "S") throw Unsupported("Schema binding to a system table");
    if (IsModule(obj->xtype) && !IsBound(s_.Db(), dbid, obj->id))
      throw Unsupported("Schema binding to a view or function that is not schema-bound");
    if (std::find(ids.begin(), ids.end(), obj->id) == ids.end()) ids.push_back(obj->id);
  }
  return ids;
}

std::vector<std::string> Executor::ViewColumns(const Header& h) const {
  if (!h.columns.empty()) return h.columns;
  if (!IsWord(h.bodyStart, "SELECT")) return {};
  std::vector<std::string> names;
  const size_t end = tokens_.size() - 1;
  auto nameOf = [&](size_t k) { return Tk(k).kind == Tok::Word ? Tk(k).text : Tk(k).value; };
  for (auto [a, b] : SelectListItems(h.bodyStart, end)) {
    std::string name;
    if ((IsIdentifier(a) || Tk(a).kind == Tok::String) && IsSymbol(a + 1, "=")) {
      name = nameOf(a);  // alias = expression
    } else if (b - a >= 2 && (IsIdentifier(b - 1) || Tk(b - 1).kind == Tok::String) && !IsSymbol(b - 2, ".")) {
      name = nameOf(b - 1);  // expression [AS] alias
    } else {
      bool column = true;  // a column, perhaps qualified
      for (size_t k = a; k < b; ++k) column = column && (IsIdentifier(k) || IsSymbol(k, "."));
      if (column && IsIdentifier(b - 1)) name = nameOf(b - 1);
    }
    if (name.empty()) return {};
    names.push_back(name);
  }
  return names;
}

std::string Executor::IndexVerdict(size_t bodyStart, int32_t ownerUid, const std::vector<Reference>& refs) const {
  // What the server never indexes.
  static const std::vector<std::string> disallowed{"DISTINCT", "TOP",     "UNION",    "OUTER", "FULL",  "CROSS",
                                                   "ORDER",    "COMPUTE", "CONTAINS", "FREETEXT", "ROLLUP", "CUBE"};
  static const std::vector<std::string> aggregates{"COUNT", "AVG", "MIN", "MAX", "STDEV", "STDEVP", "VAR", "VARP"};
  int selects = 0;
  for (size_t i = bodyStart; Tk(i).kind != Tok::End; ++i) {
    const std::string w = Tk(i).kind == Tok::Word ? Tk(i).value : std::string();
    const bool call = IsSymbol(i + 1, "(");
    if (w == "SELECT" && ++selects > 1) return "1936";  // a subquery
    if ((IsWord(i, "FROM") && IsSymbol(i + 1, "(")) ||
        std::find(disallowed.begin(), disallowed.end(), w) != disallowed.end() ||
        ((w == "LEFT" || w == "RIGHT") && !call) || (call && std::find(aggregates.begin(), aggregates.end(),
                                                                         w) != aggregates.end()))
      return "1936";
    if (w == "GROUP" || w == "HAVING") return "An index on a view with GROUP BY";
    if (call && (IsIdentifier(i) || w == "LEFT" || w == "RIGHT" || w == "CONVERT" || w == "COALESCE" ||
                 w == "NULLIF") && w != "COUNT_BIG" && w != "SUM")
      return "An index on a view that calls functions";
  }
  std::vector<int32_t> tables;
  for (const Reference& r : refs) {
    const std::optional<ObjectRow> obj = s_.ResolveName(r.parts);
    if (!obj) continue;
    if (obj->xtype != "U") return "An index on a view over views or functions";
    if (obj->uid != ownerUid) return "An index on a view over another owner's table";
    if (std::find(tables.begin(), tables.end(), obj->id) != tables.end()) return "1936";  // a self-join
    tables.push_back(obj->id);
  }
  return "";
}

void Executor::RecordBinding(const Header& h, int32_t dbid, int32_t id, const std::vector<int32_t>& refs) {
  ForgetBinding(dbid, id);
  if (!h.schemaBound) return;
  auto& db = s_.Db();
  auto owner = db.Prepare("SELECT uid FROM main.objects WHERE dbid = ? AND id = ?");
  owner.Bind(1, dbid).Bind(2, id);
  const int32_t ownerUid = owner.Step() ? owner.Int(0) : 1;
  auto ins = db.Prepare("INSERT INTO main.bound(dbid, id, columns, unindexable) VALUES (?, ?, ?, ?)");
  ins.Bind(1, dbid).Bind(2, id);
  if (h.xtype == "V") {
    std::string columns;
    for (const std::string& c : ViewColumns(h)) columns += (columns.empty() ? "" : "\n") + c;
    ins.Bind(3, columns).Bind(4, IndexVerdict(h.bodyStart, ownerUid, BodyReferences(h.bodyStart)));
  } else {
    ins.BindNull(3).BindNull(4);
  }
  ins.Step();
  auto ref = db.Prepare("INSERT OR IGNORE INTO main.bindings(dbid, id, refid) VALUES (?, ?, ?)");
  for (int32_t r : refs) {
    ref.Reset();
    ref.Bind(1, dbid).Bind(2, id).Bind(3, r);
    ref.Step();
  }
}

void Executor::CheckNotReferenced(int32_t dbid, const ObjectRow& obj, const std::string& statement,
                                  const std::string& name) {
  auto st = s_.Db().Prepare(
      "SELECT o.name FROM main.bindings b JOIN main.objects o ON o.dbid = b.dbid AND o.id = b.id "
      "WHERE b.dbid = ? AND b.refid = ? AND b.id <> ? ORDER BY o.name LIMIT 1");
  st.Bind(1, dbid).Bind(2, obj.id).Bind(3, obj.id);
  if (st.Step())
    throw SimError{3729, 16, "Cannot " + statement + " '" + name + "' because it is being referenced by object '" +
                                 st.Text(0) + "'."};
}

void Executor::ForgetIndexes(int32_t dbid, int32_t id) {
  for (const char* sql : {"DELETE FROM main.indexes WHERE dbid = ? AND id = ?",
                          "DELETE FROM main.indexkeys WHERE dbid = ? AND id = ?"}) {
    auto st = s_.Db().Prepare(sql);
    st.Bind(1, dbid).Bind(2, id);
    st.Step();
  }
}

void Executor::ForgetBinding(int32_t dbid, int32_t id) {
  for (const char* sql : {"DELETE FROM main.bound WHERE dbid = ? AND id = ?",
                          "DELETE FROM main.bindings WHERE dbid = ? AND id = ?"}) {
    auto st = s_.Db().Prepare(sql);
    st.Bind(1, dbid).Bind(2, id);
    st.Step();
  }
}

}  // namespace vx::sqlsim
