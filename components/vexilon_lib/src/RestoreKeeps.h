#pragma once
// What dropping an object takes with it on the server, and what a restore
// must therefore put back after the create, in the same server transaction:
// a view's triggers and the object's permissions. An indexed view is not
// restored at all (its indexes could not be put back as they were).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ArchiveCalls.h"

namespace vexilon {

// One trigger of a view, as it will be created again.
struct KeptTrigger {
  std::string owner;
  std::string name;
  std::string script;  // complete batches that create it as it was
  // An encrypted trigger comes from its newest archive row, which follows it
  // to the id the server gives it when it is created again.
  std::optional<archive_calls::ArchivedObjectValues> row;
  int32_t rowId = 0;
};

struct Keeps {
  std::vector<KeptTrigger> triggers;
  std::string permissions;  // GRANT and DENY batches
  std::string refusal;      // why the object cannot be put back with what it holds; empty when it can
  std::string Script() const;
};

// The statement that applies one row of sysprotects to `object` (the
// bracketed owner.name), on the named columns only when `columns` names any,
// or nothing when the row cannot be applied as it was (an unknown action or
// protect type).
std::optional<std::string> PermissionStatement(int32_t action, int32_t protectType,
                                               const std::vector<std::string>& columns, const std::string& grantee,
                                               const std::string& object);

// The batches that encrypt again a trigger just created from its archived
// text; empty when the text cannot be rewritten into an encrypting ALTER.
std::string EncryptAgainScript(const std::string& owner, const std::string& name, const std::string& text,
                               bool quotedIdentifierOn, bool ansiNullsOn);

}  // namespace vexilon
