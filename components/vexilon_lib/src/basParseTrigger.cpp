// Triggers: ALTER in place of the first CREATE, WITH ENCRYPTION after the ON
// clause (between the table name and FOR, AFTER or INSTEAD OF).
#include "basParseText.h"
#include "vexilon_lib/basParse.h"

namespace basParse {

using namespace text;

std::string GenerateTriggerEncryptionScript(std::string_view source, std::string_view /*objectName*/) {
  const std::string coloured = PrepareColouredText(source, {}, Kind::Trigger);
  std::string result;
  result.reserve(source.size() + 64);
  bool createSeen = false;
  bool done = false;
  Tokens tokens(coloured);
  for (std::string_view token; tokens.Next(token);) {
    std::string rewritten;
    bool rewrote = false;
    if (!done) {
      TokenForms forms(token);
      if (!createSeen && StartsWith(forms.LSW(), "CREATE")) {
        rewritten = ReplaceFirstNoCase(token, "CREATE", "ALTER");
        rewrote = true;
        createSeen = true;
      } else if (StartsWith(forms.W(), "ON")) {
        rewritten = std::string(token) + std::string(kCrLf) + "WITH ENCRYPTION" + std::string(kCrLf);
        rewrote = true;
        done = true;
      }
    }
    AppendStripped(result, rewrote ? std::string_view(rewritten) : token);
  }
  return FinishScript(result, {}, Kind::Trigger);
}

}  // namespace basParse
