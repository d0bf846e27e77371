#include "explorer/ExplorerFolderKind.h"

namespace {
const ExplorerFolderKind kKinds[4] = {
    {ENU_OBT_STORED_PROCEDURE, 'P', 'X', 'C', "Stored Procedures", "pomStoredProcedures", "St"},
    {ENU_OBT_TRIGGER, 'T', 'G', 'K', "Triggers", "pomTriggers", "Tr"},
    {ENU_OBT_USER_DEFINED_FUNCTION, 'F', 'U', 'B', "User Defined Functions", "pomUserDefinedFunctions", "Us"},
    {ENU_OBT_VIEW, 'V', 'W', 'H', "Views", "pomViews", "Vi"},
};
}  // namespace

const ExplorerFolderKind* ExplorerFolderKind::All() { return kKinds; }

const ExplorerFolderKind* ExplorerFolderKind::OfType(int type) {
  return type >= 1 && type <= 4 ? &kKinds[type - 1] : nullptr;
}

const ExplorerFolderKind* ExplorerFolderKind::OfFolderLetter(QChar letter) {
  for (const auto& k : kKinds)
    if (letter == QLatin1Char(k.folderLetter)) return &k;
  return nullptr;
}

const ExplorerFolderKind* ExplorerFolderKind::OfItemLetter(QChar letter) {
  for (const auto& k : kKinds)
    if (letter == QLatin1Char(k.plainLetter) || letter == QLatin1Char(k.encryptedLetter)) return &k;
  return nullptr;
}
