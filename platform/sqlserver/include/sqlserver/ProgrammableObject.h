#pragma once
// What stored procedures, views, triggers and user-defined functions share:
// identity read at look-up, text and settings read live from the server.
//
// Errors: err::kServerConnection when the connection is lost or closed;
// err::kItemNotFound when the object no longer exists; err::kObjectEncrypted
// when the text of an encrypted object is asked for (Text, Script).
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "automation/VbBool.h"
#include "sqlserver/ObjectInfo.h"

namespace vx::sqlserver {

namespace detail { struct ServerLink; }

// Script types (bit flags; combine with |).
inline constexpr int32_t kScriptDrops = 1;               // drop statement
inline constexpr int32_t kScriptPrimaryObject = 4;       // create statement
inline constexpr int32_t kScriptIncludeHeaders = 0x20000;  // descriptive header line first

class ProgrammableObject {
 public:
  ProgrammableObject(std::weak_ptr<detail::ServerLink> link, ObjectInfo info);
  virtual ~ProgrammableObject();

  const std::string& Name() const { return info_.name; }
  const std::string& Owner() const { return info_.owner; }
  int32_t ID() const { return info_.id; }
  // Creation date as "YYYY-MM-DD HH:MM:SS".
  const std::string& CreateDate() const { return info_.createDate; }
  const ObjectInfo& Info() const { return info_; }

  // The definition text as the server keeps it (its rows concatenated in order).
  // Raises err::kObjectEncrypted for an encrypted object.
  std::string Text() const;
  // The SET options stored with the object: kTrue or kFalse.
  VbBool QuotedIdentifierStatus() const;
  VbBool AnsiNullsStatus() const;
  // True when the server keeps the text encrypted; read from the server on every call.
  VbBool Encrypted() const;

  // Script of the object. scriptType: kScriptDrops and/or kScriptPrimaryObject,
  // optionally | kScriptIncludeHeaders (131073 = drop with header, 1 = drop,
  // 131076 = create with header, 4 = create). Every script is complete batches
  // ending in a "GO" line and CR LF, names bracket-escaped ("]" -> "]]"):
  //  drop:   "if exists (select * from dbo.sysobjects where id = object_id(N'[o].[n]')
  //           and OBJECTPROPERTY(id, N'IsProcedure') = 1)" CRLF "drop procedure [o].[n]" CRLF "GO" CRLF CRLF
  //  create: "SET QUOTED_IDENTIFIER ON|OFF " CRLF "GO" CRLF "SET ANSI_NULLS ON|OFF " CRLF "GO" CRLF,
  //          for a non-dbo owner "setuser N'o'" CRLF "GO" CRLF, the text, CRLF "GO" CRLF,
  //          for a non-dbo owner "setuser" CRLF "GO" CRLF, then
  //          "SET QUOTED_IDENTIFIER OFF " CRLF "GO" CRLF "SET ANSI_NULLS ON " CRLF "GO" CRLF CRLF.
  //          The text follows its "GO" line directly, so running the script keeps the text exactly.
  // When scriptFilePath is given the script is also written to that file.
  // Script2Type must be 0. Other script types raise err::kInvalidProcedureCall;
  // the create script of an encrypted object raises err::kObjectEncrypted.
  std::string Script(int32_t scriptType, const std::optional<std::string>& scriptFilePath = std::nullopt,
                     int32_t script2Type = 0) const;

 protected:
  // "Stored Procedure", "View", "Trigger", "User Defined Function".
  virtual const char* HeaderKind() const = 0;
  // The drop statement's existence test and keyword, e.g. "OBJECTPROPERTY(id, N'IsProcedure') = 1", "procedure".
  virtual std::string DropCondition() const = 0;
  virtual const char* DropKeyword() const = 0;

  std::weak_ptr<detail::ServerLink> link_;
  ObjectInfo info_;
};

}  // namespace vx::sqlserver
