#pragma once
// UTF-8 and UTF-16 (the wire and ODBC forms of text). A byte sequence that is not
// UTF-8 becomes U+FFFD. A lone half of a surrogate pair survives both ways, in
// UTF-8 as its own three bytes (ED A0..BF xx): the server cuts long texts into
// rows of 4,000 UTF-16 code units, and a cut may fall inside a pair.
#include <string>
#include <string_view>

namespace vx::sqlserver {

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
// Appends a piece of a text cut into rows: a high half at the end of `text`
// and a low half at the start of `piece` become their one character.
void AppendText(std::string& text, std::string_view piece);

}  // namespace vx::sqlserver
