#pragma once
// Texts the engine builds in several places.
#include <string>

namespace vexilon {

inline constexpr const char* kCrLf = "\r\n";

// The two SET lines that restore an object's settings, each followed by "GO":
// "SET QUOTED_IDENTIFIER ON|OFF" CRLF "GO" CRLF "SET ANSI_NULLS ON|OFF" CRLF "GO" CRLF.
std::string SetPreamble(bool quotedIdentifierOn, bool ansiNullsOn);

// The preamble, one more CRLF, then the object's text.
std::string ScriptWithPreamble(bool quotedIdentifierOn, bool ansiNullsOn, const std::string& text);

// The export's text of an object kind: "Stored Procedure", "Trigger",
// "User Defined Function", "View"; empty for any other value.
std::string ObjectTypeText(int32_t objectType);

}  // namespace vexilon
