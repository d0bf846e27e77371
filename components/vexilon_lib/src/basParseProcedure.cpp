// Stored procedures: ALTER in place of CREATE, WITH ENCRYPTION where the
// procedure's options go, for every CREATE PROCEDURE of the text.
#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"
#include "basParseText.h"
#include "vexilon_lib/basParse.h"

namespace basParse {

using namespace text;

std::string GenerateStoredProcedureEncryptionScript(std::string_view source, std::string_view objectName) {
  const std::string coloured = PrepareColouredText(source, objectName, Kind::StoredProcedure);
  const std::vector<std::string_view> tokens = Split(coloured, kKeywordCode);

  std::string result;
  result.reserve(source.size() + 64);
  bool searchingCreate = true;
  std::optional<TokenForms> next;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const std::string_view token = tokens[i];
    TokenForms forms = next ? std::move(*next) : TokenForms(token);
    next.reset();
    std::string rewritten;
    bool rewrote = false;
    if (searchingCreate) {
      // The CREATE keyword itself: a name that merely begins with "create"
      // (CreatedBy, CreateDate) starts a token here too and is no statement.
      if (StartsWith(forms.LW(), "CREATE\\CF")) {
        if (i + 1 >= tokens.size()) {
          throw vx::ComError(vx::err::kSubscriptOutOfRange, "VexilonLib", "Subscript out of range");
        }
        next.emplace(tokens[i + 1]);
        if (StartsWith(next->LSW(), "PROC")) {
          rewritten = ReplaceFirstNoCase(token, FirstNonSpaceCharacters(token, 6), "ALTER");
          rewrote = true;
          searchingCreate = false;
        }
      }
    } else if (StartsWith(forms.LW(), "FOR\\CF") && i + 1 < tokens.size() &&
               StartsWith(TokenForms(tokens[i + 1]).LSW(), "REPLICATION")) {
      // The server takes the options only before FOR REPLICATION.
      rewritten = "WITH ENCRYPTION";
      rewritten += kCrLf;
      rewritten += token;
      rewrote = true;
      searchingCreate = true;
    } else if (StartsWith(forms.LW(), "WITH\\CF")) {
      rewritten = "WITH ENCRYPTION, " + ReplaceFirstNoCase(token, "WITH\\cf", "");
      rewrote = true;
      searchingCreate = true;
    } else if (forms.LSW() == "AS") {
      rewritten = "WITH ENCRYPTION";
      rewritten += kCrLf;
      rewritten += token;
      rewrote = true;
      searchingCreate = true;
    } else if (StartsWith(forms.LW(), "BEGIN\\CF")) {
      rewritten = std::string(kCrLf) + "WITH ENCRYPTION" + std::string(kCrLf) + std::string(token);
      rewrote = true;
      searchingCreate = true;
    }
    result += StripRtfCodes(rewrote ? std::string_view(rewritten) : token);
  }
  return FinishScript(result, objectName, Kind::StoredProcedure);
}

}  // namespace basParse
