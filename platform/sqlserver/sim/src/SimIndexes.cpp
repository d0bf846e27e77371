// CREATE INDEX and DROP INDEX on views, kept in sysindexes as the server keeps
// an indexed view's indexes: the first one unique and clustered (indid 1), the
// others nonclustered. Tables keep no indexes here: indexes on them are refused.
#include <algorithm>

#include "Executor.h"
#include "SimSession.h"
#include "SimStore.h"

namespace vx::sqlsim {

namespace {
constexpr int kUnique = 2, kClustered = 16;  // sysindexes.status

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t from = 0;
  for (size_t at; (at = text.find('\n', from)) != std::string::npos; from = at + 1)
    lines.push_back(text.substr(from, at - from));
  if (!text.empty()) lines.push_back(text.substr(from));
  return lines;
}

std::string Joined(const std::vector<std::string>& names) {
  std::string s;
  for (const std::string& n : names) s += (s.empty() ? "" : ", ") + n;
  return s;
}
}  // namespace

void Executor::CreateIndex(bool exec) {
  const bool unique = CurIs("UNIQUE");
  if (unique) ++pos_;
  const bool clustered = CurIs("CLUSTERED");
  if (clustered || CurIs("NONCLUSTERED")) ++pos_;
  Expect("INDEX");
  if (!IsIdentifier(pos_)) SyntaxError(pos_);
  const std::string name = Cur().kind == Tok::Word ? Cur().text : Cur().value;
  ++pos_;
  Expect("ON");
  const ObjectName target = ParseName();
  if (!IsSymbol(pos_, "(")) SyntaxError(pos_);
  ++pos_;
  std::vector<std::pair<std::string, bool>> keys;  // column, descending
  for (;;) {
    if (!IsIdentifier(pos_)) SyntaxError(pos_);
    keys.emplace_back(Cur().kind == Tok::Word ? Cur().text : Cur().value, false);
    ++pos_;
    if (CurIs("ASC")) {
      ++pos_;
    } else if (CurIs("DESC")) {
      keys.back().second = true;
      ++pos_;
    }
    if (IsSymbol(pos_, ")")) break;
    if (!IsSymbol(pos_, ",")) SyntaxError(pos_);
    ++pos_;
  }
  ++pos_;
  if (CurIs("WITH")) throw Unsupported("CREATE INDEX ... WITH (index options)");
  if (CurIs("ON")) {
    ++pos_;
    if (!CurIs("PRIMARY") && !IsIdentifier(pos_)) SyntaxError(pos_);
    if (!CurIs("PRIMARY") && Upper(Cur().kind == Tok::Word ? Cur().text : Cur().value) != "PRIMARY")
      throw Unsupported("An index on a filegroup other than PRIMARY");
    ++pos_;
  }
  if (!exec) return;

  const int32_t dbid = s_.currentDb_;
  if (target.parts.size() == 3 && !target.parts[0].empty() && s_.DatabaseId(target.parts[0]) != dbid)
    throw Unsupported("CREATE INDEX in another database");
  const std::optional<ObjectRow> obj = s_.ResolveName(target.parts);
  if (!obj) throw SimError{208, 16, "Invalid object name '" + target.text + "'."};
  if (obj->xtype == "U") throw Unsupported("CREATE INDEX on a table");
  if (obj->xtype != "V")
    throw SimError{1914, 16, "Cannot create index on object '" + obj->name +
                                 "' because the object is not a user table or view."};
  if (obj->uid != s_.EffectiveUid(dbid) && !CanDoDdl(dbid))
    throw Unsupported("CREATE INDEX by a user who neither owns the view nor may change the database");
  auto& db = s_.Db();
  auto bound = db.Prepare(
      "SELECT b.columns, b.unindexable, o.ansi_nulls, o.quoted_ident FROM main.bound b "
      "JOIN main.objects o ON o.dbid = b.dbid AND o.id = b.id WHERE b.dbid = ? AND b.id = ?");
  bound.Bind(1, dbid).Bind(2, obj->id);
  if (!bound.Step())
    throw SimError{1939, 16, "Cannot create index on view '" + obj->name + "' because the view is not schema bound."};
  const std::vector<std::string> columns = SplitLines(bound.IsNull(0) ? std::string() : bound.Text(0));
  const std::string unindexable = bound.IsNull(1) ? std::string() : bound.Text(1);
  if (unindexable == "1936")
    throw SimError{1936, 16,
                   "Cannot index the view '" + obj->name + "'. It contains one or more disallowed constructs."};
  if (!unindexable.empty()) throw Unsupported(unindexable);
  std::vector<std::string> off;  // the view's own options, kept when it was created
  if (bound.Int(2) == 0) off.push_back("ANSI_NULLS");
  if (bound.Int(3) == 0) off.push_back("QUOTED_IDENTIFIER");
  if (!off.empty())
    throw SimError{1935, 16, "Cannot create index. Object '" + obj->name +
                                 "' was created with the following SET options off: '" + Joined(off) + "'."};
  std::vector<std::string> wrong;  // the session's
  if (!s_.ansiNulls_) wrong.push_back("ANSI_NULLS");
  if (!s_.ansiPadding_) wrong.push_back("ANSI_PADDING");
  if (!s_.quotedIdentifier_) wrong.push_back("QUOTED_IDENTIFIER");
  if (!s_.arithAbort_) wrong.push_back("ARITHABORT");
  if (s_.numericRoundAbort_) wrong.push_back("NUMERIC_ROUNDABORT");
  if (!wrong.empty())
    throw SimError{1934, 16, "CREATE INDEX failed because the following SET options have incorrect settings: '" +
                                 Joined(wrong) + "'."};

  auto existing = db.Prepare("SELECT indid, name FROM main.indexes WHERE dbid = ? AND id = ? ORDER BY indid");
  existing.Bind(1, dbid).Bind(2, obj->id);
  int32_t next = 2;
  std::string clusteredName;
  while (existing.Step()) {
    if (Upper(existing.Text(1)) == Upper(name))
      throw SimError{1913, 16, "There is already an index on table '" + obj->name + "' named '" + name + "'."};
    if (existing.Int(0) == 1) clusteredName = existing.Text(1);
    next = std::max(next, existing.Int(0) + 1);
  }
  if (clustered && !clusteredName.empty())
    throw SimError{1902, 16, "Cannot create more than one clustered index on table '" + obj->name +
                                 "'. Drop the existing clustered index '" + clusteredName +
                                 "' before creating another."};
  if (clustered && !unique)
    throw SimError{1941, 16, "Cannot create nonunique clustered index on view '" + obj->name + "'."};
  if (!clustered && clusteredName.empty())
    throw SimError{1940, 16,
                   "Cannot create index on view '" + obj->name + "'. It does not have a unique clustered index."};
  if (columns.empty()) throw Unsupported("An index on a view whose columns are not named");
  for (size_t k = 0; k < keys.size(); ++k) {
    const std::string u = Upper(keys[k].first);
    if (std::none_of(columns.begin(), columns.end(), [&](const std::string& c) { return Upper(c) == u; }))
      throw SimError{1911, 16, "Column name '" + keys[k].first + "' does not exist in the target table or view."};
    for (size_t j = 0; j < k; ++j)
      if (Upper(keys[j].first) == u)
        throw SimError{1909, 16, "Cannot use duplicate column names in index. Column name '" + keys[k].first +
                                     "' listed more than once."};
  }

  const int32_t indid = clustered ? 1 : next;
  auto ins = db.Prepare("INSERT INTO main.indexes(dbid, id, indid, name, status, keycnt) VALUES (?, ?, ?, ?, ?, ?)");
  ins.Bind(1, dbid).Bind(2, obj->id).Bind(3, indid).Bind(4, name)
      .Bind(5, (unique ? kUnique : 0) | (clustered ? kClustered : 0)).Bind(6, static_cast<int32_t>(keys.size()));
  ins.Step();
  auto key = db.Prepare(
      "INSERT INTO main.indexkeys(dbid, id, indid, keyno, colname, descending) VALUES (?, ?, ?, ?, ?, ?)");
  for (size_t k = 0; k < keys.size(); ++k) {
    key.Reset();
    const auto column = std::find_if(columns.begin(), columns.end(),
                                     [&](const std::string& c) { return Upper(c) == Upper(keys[k].first); });
    key.Bind(1, dbid).Bind(2, obj->id).Bind(3, indid).Bind(4, static_cast<int32_t>(k + 1)).Bind(5, *column)
        .Bind(6, keys[k].second ? 1 : 0);
    key.Step();
  }
}

void Executor::DropIndex(bool exec) {
  ++pos_;  // INDEX
  const std::vector<ObjectName> names = ParseNameList();
  if (!exec) return;
  const int32_t dbid = s_.currentDb_;
  auto& db = s_.Db();
  for (const ObjectName& n : names) {
    if (n.parts.size() < 2)
      throw SimError{159, 16, "Must specify the table name and index name for the DROP INDEX statement."};
    const std::vector<std::string> table(n.parts.begin(), n.parts.end() - 1);
    const std::optional<ObjectRow> obj = s_.ResolveName(table);
    if (obj && obj->xtype == "U") throw Unsupported("DROP INDEX on a table");
    std::optional<int32_t> indid;
    if (obj) {
      auto find = db.Prepare("SELECT indid FROM main.indexes WHERE dbid = ? AND id = ? AND name = ?");
      find.Bind(1, dbid).Bind(2, obj->id).Bind(3, n.Name());
      if (find.Step()) indid = find.Int(0);
    }
    if (!indid)
      throw SimError{3703, 11,
                     "Cannot drop the index '" + n.text + "', because it does not exist in the system catalog."};
    if (obj->uid != s_.EffectiveUid(dbid) && !CanDoDdl(dbid))
      throw Unsupported("DROP INDEX by a user who neither owns the view nor may change the database");
    if (*indid == 1) {  // the clustered index takes the view's other indexes with it
      ForgetIndexes(dbid, obj->id);
      continue;
    }
    for (const char* sql : {"DELETE FROM main.indexes WHERE dbid = ? AND id = ? AND indid = ?",
                            "DELETE FROM main.indexkeys WHERE dbid = ? AND id = ? AND indid = ?"}) {
      auto del = db.Prepare(sql);
      del.Bind(1, dbid).Bind(2, obj->id).Bind(3, *indid);
      del.Step();
    }
  }
}

}  // namespace vx::sqlsim
