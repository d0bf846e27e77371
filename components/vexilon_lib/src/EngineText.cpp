#include "EngineText.h"

namespace vexilon {

std::string SetPreamble(bool quotedIdentifierOn, bool ansiNullsOn) {
  std::string s;
  s += quotedIdentifierOn ? "SET QUOTED_IDENTIFIER ON" : "SET QUOTED_IDENTIFIER OFF";
  s += "\r\nGO\r\n";
  s += ansiNullsOn ? "SET ANSI_NULLS ON" : "SET ANSI_NULLS OFF";
  s += "\r\nGO\r\n";
  return s;
}

std::string ScriptWithPreamble(bool quotedIdentifierOn, bool ansiNullsOn, const std::string& text) {
  return SetPreamble(quotedIdentifierOn, ansiNullsOn) + kCrLf + text;
}

std::string ObjectTypeText(int32_t objectType) {
  switch (objectType) {
    case 1: return "Stored Procedure";
    case 2: return "Trigger";
    case 3: return "User Defined Function";
    case 4: return "View";
    default: return "";
  }
}

}  // namespace vexilon
