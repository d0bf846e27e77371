#include "explorer/ExplorerPrompts.h"

namespace {

const QString kBreaks = QStringLiteral("\r\n\r\n");
const QString kOptionOff = QStringLiteral(
    "WARNING: The 'Archive encrypted database objects' option has been switched off in Tools|Options. ");

QString Plural(ENU_OBJECT_TYPES kind) {
  switch (kind) {
    case ENU_OBT_STORED_PROCEDURE: return QStringLiteral("stored procedures");
    case ENU_OBT_TRIGGER: return QStringLiteral("triggers");
    case ENU_OBT_USER_DEFINED_FUNCTION: return QStringLiteral("user defined functions");
    case ENU_OBT_VIEW: return QStringLiteral("views");
  }
  return {};
}

QString Singular(ENU_OBJECT_TYPES kind) {
  switch (kind) {
    case ENU_OBT_STORED_PROCEDURE: return QStringLiteral("stored procedure");
    case ENU_OBT_TRIGGER: return QStringLiteral("trigger");
    case ENU_OBT_USER_DEFINED_FUNCTION: return QStringLiteral("user defined function");
    case ENU_OBT_VIEW: return QStringLiteral("view");
  }
  return {};
}

}  // namespace

QString ExplorerPrompts::Database(bool encrypt, bool archiving, const QString& databaseName) {
  QString info, question;
  if (encrypt) {
    info = archiving
               ? QStringLiteral("All database objects that are encrypted will be stored in the Vexilon archive. Once a "
                                "database object is encrypted it cannot be decrypted and can only be restored from the "
                                "Vexilon archive copy or another valid copy.")
               : kOptionOff + QStringLiteral("This means that all database objects that are encrypted will NOT be "
                                             "stored in the Vexilon archive. Once a database object has been "
                                             "encrypted it cannot be decrypted and can only be restored from another "
                                             "valid copy.");
    question = QStringLiteral(
        "Are you sure you want to encrypt all stored procedures, triggers, views and user defined functions in ");
  } else {
    info = QStringLiteral(
        "All encrypted database objects will be dropped from the database and restored from copies in the Vexilon "
        "archive.");
    question = QStringLiteral(
        "Are you sure you want to restore all encrypted stored procedures, triggers, views and user defined "
        "functions in ");
  }
  return info + kBreaks + question + databaseName + QStringLiteral("?");
}

QString ExplorerPrompts::Folder(Command command, ENU_OBJECT_TYPES kind, bool archiving, const QString& databaseName) {
  const QString p = Plural(kind);
  const QString s = Singular(kind);
  QString info, question;
  switch (command) {
    case Command::EncryptAll:
      info = archiving ? QStringLiteral("All %1 that are encrypted will be stored in the Vexilon archive. Once encrypted "
                                        "a %2 cannot be decrypted and can only be restored from the Vexilon archive "
                                        "copy or another valid copy.")
                       : kOptionOff + QStringLiteral("This means that all %1 that are encrypted will NOT be stored in "
                                                     "the Vexilon archive. Once a %2 has been encrypted it cannot be "
                                                     "decrypted and can only be restored from another valid copy.");
      question = QStringLiteral("Are you sure you want to encrypt all %1 in ");
      break;
    case Command::RestoreAll:
      info = QStringLiteral(
          "All encrypted %1 will be dropped from the database and restored from copies in the Vexilon archive.");
      question = QStringLiteral("Are you sure you want to restore all encrypted %1 in ");
      break;
    case Command::EncryptSelected:
      info = archiving ? QStringLiteral("A copy of each %2 that is encrypted will be stored in the Vexilon archive. "
                                        "Once encrypted a %2 cannot be decrypted and can only be restored from the "
                                        "Vexilon archive copy or another valid copy.")
                       : kOptionOff + QStringLiteral("This means that each %2 that is encrypted will NOT be stored in "
                                                     "the Vexilon archive. Once a %2 has been encrypted it cannot be "
                                                     "decrypted and can only be restored from another valid copy.");
      question = QStringLiteral("Are you sure you want to encrypt the selected %1 in ");
      break;
    case Command::RestoreSelected:
      info = kind == ENU_OBT_USER_DEFINED_FUNCTION
                 ? QStringLiteral("Each encrypted user defined functions will be dropped from the database and "
                                  "restored from a copy in the Vexilon archive.")
                 : QStringLiteral("Each encrypted %2 will be dropped from the database and restored from a copy in "
                                  "the Vexilon archive.");
      question = QStringLiteral("Are you sure you want to restore the selected encrypted %1 in ");
      break;
  }
  // Only the patterns carry %1/%2; the database name is appended afterwards.
  info.replace(QStringLiteral("%1"), p).replace(QStringLiteral("%2"), s);
  question.replace(QStringLiteral("%1"), p);
  return info + kBreaks + question + databaseName + QStringLiteral("?");
}

QString ExplorerPrompts::Unregister(const QString& serverName) {
  return QStringLiteral("WARNING: Deleting the SQL Server registration for '") + serverName +
         QStringLiteral("' will remove all database objects stored in the Vexilon archive for this SQL Server. "
                        "Database objects encrypted on the SQL Server can only be restored from another valid copy.") +
         kBreaks + QStringLiteral("Are you sure you want to delete the SQL Server registration for '") + serverName +
         QStringLiteral("'?");
}

QString ExplorerPrompts::OlderArchive(const QString& databaseName, const QString& ownerName, const QString& objectName,
                                      int32_t objectId) {
  return QStringLiteral("The archived database object '") + databaseName + QStringLiteral(".") + ownerName +
         QStringLiteral(".") + objectName + QStringLiteral("' (database object id ") + QString::number(objectId) +
         QStringLiteral(") is older than the current version in the database. The database object must have been "
                        "restored and encrypted from another source.") +
         kBreaks +
         QStringLiteral("Are you sure you want to drop the current database object and restore it with an older "
                        "version?");
}
