// User defined functions: ALTER in place of CREATE, WITH ENCRYPTION joined to
// WITH SCHEMABINDING, or on a line of its own before AS, BEGIN or RETURN.
#include "basParseText.h"
#include "vexilon_lib/basParse.h"

namespace basParse {

using namespace text;

std::string GenerateUserDefinedFunctionEncryptionScript(std::string_view source, std::string_view objectName) {
  const std::string coloured = PrepareColouredText(source, objectName, Kind::UserDefinedFunction);
  std::string result;
  result.reserve(source.size() + 64);
  bool done = false;
  Tokens tokens(coloured);
  for (std::string_view token; tokens.Next(token);) {
    if (done) {
      AppendStripped(result, token);
      continue;
    }
    TokenForms forms(token);
    const std::string& lsw = forms.LSW();
    std::string rewritten;
    bool rewrote = true;
    if (StartsWith(lsw, "CREATE")) {
      rewritten = ReplaceFirstNoCase(token, FirstNonSpaceCharacters(token, 6), "ALTER");
    } else if (lsw == "WITHSCHEMABINDING") {
      rewritten = "WITH ENCRYPTION, " + ReplaceFirstNoCase(token, "WITH\\cf", "");
      done = true;
    } else if (lsw == "AS") {
      rewritten = "WITH ENCRYPTION" + std::string(kCrLf) + std::string(token);
      done = true;
    } else if (StartsWith(lsw, "BEGIN") || StartsWith(forms.LW(), "RETURN\\CF")) {
      // BEGIN: a scalar or multi-statement function without AS; RETURN: an
      // inline function without AS.
      rewritten = std::string(kCrLf) + "WITH ENCRYPTION" + std::string(kCrLf) + std::string(token);
      done = true;
    } else {
      rewrote = false;
    }
    AppendStripped(result, rewrote ? std::string_view(rewritten) : token);
    if (!done) result += ' ';
  }
  return FinishScript(result, objectName, Kind::UserDefinedFunction);
}

}  // namespace basParse
