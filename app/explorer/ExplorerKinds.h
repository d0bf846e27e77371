#pragma once
// What the explorer's encrypt and restore runs tell apart by object kind (1 to
// 4), and the one way they call the engine for one object: an object the engine
// raises an error for (dropped or changed since the lists were filled) becomes
// a failed item of the run, logged and flagged, and the run goes on; a lost
// server connection still ends the run.
#include <QString>

#include "vexilon_global/Types.h"

class CVexilon;

class ExplorerKinds {
 public:
  static bool IsKind(int kind) { return kind >= ENU_OBT_STORED_PROCEDURE && kind <= ENU_OBT_VIEW; }
  // "Encrypting stored procedures..." / "Restoring stored procedures..." and the like.
  static QString WorkingText(ENU_OBJECT_TYPES kind, bool encrypt);
  // "Stored Procedures: " and the like.
  static QString StatusLabel(ENU_OBJECT_TYPES kind);
  // The name of the connected server's database of that id ("" when unknown).
  static QString DatabaseName(CVexilon& engine, int32_t databaseId);

  // One object: the kind's archiving or plain encrypt member; True on success.
  static bool Encrypt(CVexilon& engine, ENU_OBJECT_TYPES kind, bool archive, int32_t databaseId, const UDT_OBJECT& object);
  // One object's restore: the engine's result, or 0 for a failed item.
  static int32_t Restore(CVexilon& engine, int32_t databaseId, const UDT_OBJECT& object, bool ignoreArchiveOlder);
};
