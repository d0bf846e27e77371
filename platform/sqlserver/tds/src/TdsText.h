#pragma once
// Text as it goes over the wire. The session's text is UTF-8; a value can still
// hold bytes that are not (binary data converted to text): each such byte is read
// as the character it is in the default collation's code page (1252), the way the
// server shows a varchar holding it. A text's length is always counted the way it
// is converted, so a length on the wire is never another than its text's.
#include <cstddef>
#include <string>
#include <string_view>

namespace vx::tds {

// UTF-16 of `text`: its UTF-8 sequences, and its other bytes as code page 1252.
std::u16string WireText(std::string_view text);
// UTF-16 code units of WireText(text), without converting it.
size_t WireUnits(std::string_view text);
// Single-byte text of the default collation (code page 1252) as UTF-8.
std::string FromCodePage(std::string_view bytes);

}  // namespace vx::tds
