// Views: ALTER in place of the first CREATE, WITH ENCRYPTION joined to an
// existing WITH clause or on a line of its own before AS.
#include "basParseText.h"
#include "vexilon_lib/basParse.h"

namespace basParse {

using namespace text;

std::string GenerateViewEncryptionScript(std::string_view source, std::string_view /*objectName*/) {
  const std::string coloured = PrepareColouredText(source, {}, Kind::View);
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
      const std::string& lw = forms.LW();
      if (!createSeen && StartsWith(lw, "CREATE\\CF")) {
        rewritten = ReplaceFirstNoCase(token, "CREATE", "ALTER");
        rewrote = true;
        createSeen = true;
      } else if (StartsWith(lw, "WITH\\CF")) {
        rewritten = ReplaceFirstNoCase(token, "WITH\\cf", "WITH ENCRYPTION, ");
        rewrote = true;
        done = true;
      } else if (StartsWith(lw, "AS\\CF")) {
        // The AS line is written anew; what followed AS up to the next keyword
        // goes with it unless it holds code (AS (SELECT ...)), which stays.
        const std::string_view rest = token.substr(2);
        rewritten = std::string(kCrLf) + "WITH ENCRYPTION" + std::string(kCrLf) + "AS";
        if (RemoveWhitespace(StripRtfCodes(RemoveLineComments(rest))).empty()) {
          rewritten += kCrLf;
        } else {
          rewritten += rest;
        }
        rewrote = true;
        done = true;
      }
    }
    AppendStripped(result, rewrote ? std::string_view(rewritten) : token);
  }
  return FinishScript(result, {}, Kind::View);
}

}  // namespace basParse
