#pragma once
// The engine's text module: T-SQL as an RTF document, and the rewrite of an
// object's CREATE text into ALTER ... WITH ENCRYPTION.
//
// The rewriters let the syntax colourer classify the words, cut the coloured
// text into tokens at each keyword, rewrite the few tokens that matter, strip
// the colour codes again and return plain text. The procedure rewrite keeps
// every byte it does not change, comments and the case of type words included;
// the others remove block comments and write the type words in lower case.
// Line comments stay. CR, LF and CR LF each end a line. Texts are UTF-8.
//
// Errors (vx::ComError): a text that is not valid UTF-8 gives
// kInvalidProcedureCall; a CREATE keyword as the last token of a procedure text
// gives kSubscriptOutOfRange; colourer and regular-expression failures pass
// through unchanged. A text that cannot be rewritten gives an empty result, or
// one without WITH ENCRYPTION; the caller finds out by the object's state.
#include <string>
#include <string_view>

namespace basParse {

// --- RTF ---
// The RTF document of a T-SQL text: escaped, coloured, wrapped.
// CVexilon::ParseSQLSyntax hands its argument to this function.
std::string ParseSQLSyntax(std::string_view strSQL);
// "\" to "\\", then "{" to "\{", then "}" to "\}".
std::string EscapeRtfText(std::string_view text);
// The fixed RTF header + text + "}".
std::string WrapRtfDocument(std::string_view text);
// The header itself (one line, ending in a space).
extern const std::string_view kRtfHeader;

// --- The four rewriters (objectName: the object's name without its owner) ---
std::string GenerateStoredProcedureEncryptionScript(std::string_view text, std::string_view objectName);
std::string GenerateTriggerEncryptionScript(std::string_view text, std::string_view objectName);
std::string GenerateUserDefinedFunctionEncryptionScript(std::string_view text, std::string_view objectName);
std::string GenerateViewEncryptionScript(std::string_view text, std::string_view objectName);

// --- Helpers, on coloured text ---
// Nine type words moved to class 2, written in lower case (the procedure
// rewrite recolours them keeping their case).
std::string FixDataTypeColours(std::string_view text);
// Coloured block comments removed (a nested one with its outer comment).
std::string RemoveBlockComments(std::string_view text);
// Coloured line comments removed with the line feeds that follow them.
std::string RemoveLineComments(std::string_view text);
// Space, form feed, line feed, carriage return, tab and vertical tab removed.
std::string RemoveWhitespace(std::string_view text);
// Text of the object that looks like colour codes or markers, masked and back.
std::string MaskRtfCodes(std::string_view text);
std::string UnmaskRtfCodes(std::string_view text);
// Every colour code but "\cf1 " removed.
std::string StripRtfCodes(std::string_view text);

}  // namespace basParse
