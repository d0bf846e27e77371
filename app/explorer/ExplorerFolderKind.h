#pragma once
// What tells the explorer's four object folders apart: the folder's key letter,
// the list item letters, the status label, the popup menu and its tool tag.
#include <QString>

#include "vexilon_global/Types.h"

struct ExplorerFolderKind {
  ENU_OBJECT_TYPES type;
  char folderLetter;     // tree key letter of the folder: P, T, F, V
  char plainLetter;      // lvwObjects item key and picture: X, G, U, W
  char encryptedLetter;  // lvwEncryptedObjects item key and picture: C, K, B, H
  const char* text;      // folder node text
  const char* menu;      // popup band
  const char* tag;       // tool name tag: St, Tr, Us, Vi

  QString StatusLabel() const { return QString::fromLatin1(text) + QStringLiteral(": "); }
  QString Tool(const char* action) const {
    return QStringLiteral("mi") + QLatin1String(tag) + QLatin1String(action);
  }

  // The kind of a type (1 to 4), of a folder key letter, or of a list item letter
  // (either list); nullptr when none.
  static const ExplorerFolderKind* OfType(int type);
  static const ExplorerFolderKind* OfFolderLetter(QChar letter);
  static const ExplorerFolderKind* OfItemLetter(QChar letter);
  static const ExplorerFolderKind* All();  // the four, in type order
};
