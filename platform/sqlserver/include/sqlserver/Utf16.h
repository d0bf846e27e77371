#pragma once
// UTF-8 and UTF-16 (the wire and ODBC forms of text). A byte sequence that is not
// UTF-8, or a lone surrogate, becomes U+FFFD.
#include <string>
#include <string_view>

namespace vx::sqlserver {

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace vx::sqlserver
