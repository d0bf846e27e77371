#pragma once
// The exact texts of the engine's catalogue queries, in one place.
#include <string>
#include <vector>

#include "vexilon_global/Types.h"

namespace vexilon::catalogue {

// Object list of one kind, encrypted or not, with or without the objects shipped
// with the server: select + FROM + WHERE + " ORDER BY A.name".
std::string ObjectListQuery(ENU_OBJECT_TYPES kind, bool encrypted, bool ignoreSystemObjects);

// One object's catalogue row for the readers (triggers carry their table).
std::string ObjectReaderQuery(ENU_OBJECT_TYPES kind, int32_t id);

// Id and parent table of the object of that kind, owner and name (what a drop
// script by name would drop): one row, or none.
std::string NamedObjectQuery(ENU_OBJECT_TYPES kind, const std::string& owner, const std::string& name);

// Id and schema version of one object.
std::string SchemaVersionQuery(int32_t id);

// What dropping an object takes with it. The triggers of a view (id, name,
// owner, schema_ver), oldest first.
std::string TriggersOfQuery(int32_t parentId);
// The permissions granted or denied on an object (action, protecttype,
// allcolumns: 1 when the row holds the whole object, columnbytes: the length of
// its columns bitmap, uid, grantee).
std::string PermissionsQuery(int32_t id);
// The bytes b1..bN of the columns bitmap of one permission (bit n of the
// bitmap, counted from bit 0 of b1, is column n).
std::string PermissionColumnBytesQuery(int32_t id, int32_t uid, int32_t action, int32_t bytes);
// The names (c1..cN) of the object's columns with these colids.
std::string ColumnNamesQuery(int32_t id, const std::vector<int32_t>& colids);
// The indexes of a view (name), statistics left out.
std::string ViewIndexesQuery(int32_t id);

}  // namespace vexilon::catalogue
