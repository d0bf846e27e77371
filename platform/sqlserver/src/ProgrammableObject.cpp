#include "sqlserver/ProgrammableObject.h"

#include <fstream>

#include "ServerLink.h"
#include "automation/ComError.h"
#include "automation/OleDate.h"
#include "sqlserver/Quoting.h"
#include "sqlserver/ServerErrors.h"
#include "sqlserver/StoredProcedure.h"
#include "sqlserver/Trigger.h"
#include "sqlserver/UserDefinedFunction.h"
#include "sqlserver/Utf16.h"
#include "sqlserver/View.h"

namespace vx::sqlserver {

namespace {
constexpr const char* kCrLf = "\r\n";

[[noreturn]] void RaiseEncrypted(const std::string& name) {
  throw ComError(err::kObjectEncrypted, "SQLServer",
                 "[SQL-DMO]The text of object '" + name + "' is encrypted and cannot be read.");
}
}  // namespace

ProgrammableObject::ProgrammableObject(std::weak_ptr<detail::ServerLink> link, ObjectInfo info)
    : link_(std::move(link)), info_(std::move(info)) {}

ProgrammableObject::~ProgrammableObject() = default;

std::string ProgrammableObject::Text() const {
  auto link = detail::Lock(link_);
  auto rs = link->Query(info_.databaseName, "SELECT text, encrypted FROM syscomments WHERE id = " +
                                                std::to_string(info_.id) + " ORDER BY number, colid");
  if (rs.rows.empty()) {
    auto exists = link->Query(info_.databaseName,
                              "SELECT COUNT(*) FROM sysobjects WHERE id = " + std::to_string(info_.id));
    if (exists.rows.empty() || exists.rows[0][0].AsInt64() == 0)
      throw ComError(err::kItemNotFound, "SQLServer",
                     "[SQL-DMO]The object '" + info_.name + "' no longer exists.");
    return {};
  }
  std::string text;
  for (const auto& row : rs.rows) {
    if (!row[1].IsNull() && row[1].AsInt64() != 0) RaiseEncrypted(info_.name);
    if (!row[0].IsNull()) AppendText(text, row[0].AsText());  // a row may end inside a character
  }
  return text;
}

static VbBool Property(const std::weak_ptr<detail::ServerLink>& l, const ObjectInfo& info, const char* prop) {
  auto rs = detail::Lock(l)->Query(info.databaseName, "SELECT OBJECTPROPERTY(" + std::to_string(info.id) + ", '" +
                                                          prop + "')");
  return ToVb(!rs.rows.empty() && !rs.rows[0][0].IsNull() && rs.rows[0][0].AsInt64() == 1);
}

VbBool ProgrammableObject::QuotedIdentifierStatus() const { return Property(link_, info_, "IsQuotedIdentOn"); }

VbBool ProgrammableObject::AnsiNullsStatus() const { return Property(link_, info_, "ExecIsAnsiNullsOn"); }

VbBool ProgrammableObject::Encrypted() const {
  auto rs = detail::Lock(link_)->Query(info_.databaseName, "SELECT COUNT(*) FROM syscomments WHERE id = " +
                                                               std::to_string(info_.id) + " AND encrypted = 1");
  return ToVb(!rs.rows.empty() && rs.rows[0][0].AsInt64() > 0);
}

std::string ProgrammableObject::Script(int32_t scriptType, const std::optional<std::string>& scriptFilePath,
                                       int32_t script2Type) const {
  const int32_t known = kScriptDrops | kScriptPrimaryObject | kScriptIncludeHeaders;
  if ((scriptType & ~known) != 0 || (scriptType & (kScriptDrops | kScriptPrimaryObject)) == 0 || script2Type != 0)
    throw ComError(err::kInvalidProcedureCall, "SQLServer",
                   "[SQL-DMO]Script type " + std::to_string(scriptType) + " is not supported.");
  const std::string qualified = detail::Bracket(info_.owner) + "." + detail::Bracket(info_.name);
  std::string out;
  // The header names the object in a comment: a name holding "*/" or a line
  // end must not end it and turn the rest of the name into statements.
  if (scriptType & kScriptIncludeHeaders)
    out += std::string("/****** Object:  ") + HeaderKind() + " " + CommentText(info_.owner + "." + info_.name) +
           "    Script Date: " + FormatServerDate(OleNow()) + " ******/" + kCrLf;
  if (scriptType & kScriptDrops) {
    out += "if exists (select * from dbo.sysobjects where id = object_id(" + detail::NLiteral(qualified) + ") and " +
           DropCondition() + ")" + kCrLf + "drop " + DropKeyword() + " " + qualified + kCrLf + "GO" + kCrLf + kCrLf;
  }
  if (scriptType & kScriptPrimaryObject) {
    std::string text = Text();  // raises for an encrypted object
    bool qi = QuotedIdentifierStatus() == kTrue;
    bool an = AnsiNullsStatus() == kTrue;
    bool otherOwner = info_.owner != "dbo";
    // No blank line before the text: the batch after a "GO" line is stored as sent,
    // so the re-created object keeps exactly the text it had.
    out += std::string("SET QUOTED_IDENTIFIER ") + (qi ? "ON" : "OFF") + " " + kCrLf + "GO" + kCrLf +
           "SET ANSI_NULLS " + (an ? "ON" : "OFF") + " " + kCrLf + "GO" + kCrLf;
    if (otherOwner) out += "setuser " + detail::NLiteral(info_.owner) + kCrLf + "GO" + kCrLf;
    out += text + kCrLf + "GO" + kCrLf;
    if (otherOwner) out += std::string("setuser") + kCrLf + "GO" + kCrLf;
    out += std::string("SET QUOTED_IDENTIFIER OFF ") + kCrLf + "GO" + kCrLf + "SET ANSI_NULLS ON " + kCrLf + "GO" +
           kCrLf + kCrLf;
  }
  if (scriptFilePath && !scriptFilePath->empty()) {
    std::ofstream f(*scriptFilePath, std::ios::binary | std::ios::trunc);
    f << out;
    if (!f)
      throw ComError(err::kPathNotFound, "SQLServer", "[SQL-DMO]The script file '" + *scriptFilePath +
                                                          "' cannot be written.");
  }
  return out;
}

std::string StoredProcedure::DropCondition() const { return "OBJECTPROPERTY(id, N'IsProcedure') = 1"; }
std::string View::DropCondition() const { return "OBJECTPROPERTY(id, N'IsView') = 1"; }
std::string Trigger::DropCondition() const { return "OBJECTPROPERTY(id, N'IsTrigger') = 1"; }
std::string UserDefinedFunction::DropCondition() const { return "xtype in (N'FN', N'IF', N'TF')"; }

}  // namespace vx::sqlserver
