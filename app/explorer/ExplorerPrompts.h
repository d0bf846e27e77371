#pragma once
// The confirmation texts of the explorer's encrypt and restore commands: an
// info line, two line breaks, the question, the database name and "?".
#include <QString>

#include "vexilon_global/Types.h"

class ExplorerPrompts {
 public:
  enum class Command { EncryptAll, RestoreAll, EncryptSelected, RestoreSelected };

  // A whole database ("Encrypt All" / "Restore All" of a database node).
  static QString Database(bool encrypt, bool archiving, const QString& databaseName);
  // One folder's command for objects of `kind` (1 to 4).
  static QString Folder(Command command, ENU_OBJECT_TYPES kind, bool archiving, const QString& databaseName);
  // The warning before a registration is deleted.
  static QString Unregister(const QString& serverName);
  // The question when the archived copy is older than the object on the server.
  static QString OlderArchive(const QString& databaseName, const QString& ownerName, const QString& objectName,
                              int32_t objectId);
};
