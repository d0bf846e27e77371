#pragma once
// The last check before an encryption script goes to the server.
#include <string_view>

namespace vexilon {

// True when the script holds an ALTER statement whose header (everything up to
// the AS or BEGIN that opens the body, outside parentheses) carries the
// ENCRYPTION option of a WITH clause. Comments, strings and quoted names are
// skipped. A script that fails this would re-create the object readable.
bool HeaderCarriesEncryption(std::string_view script);

// True when the script's body, from the AS or BEGIN that ends its ALTER
// header on, is byte for byte the body of the original CREATE text: the
// rewrite changed the header alone. An original without a body (no AS or
// BEGIN after its header) passes; a script without one then fails.
bool BodyUnchanged(std::string_view script, std::string_view original);

}  // namespace vexilon
