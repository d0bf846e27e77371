// Stored procedures: ALTER in place of CREATE, WITH ENCRYPTION where the
// procedure's options go, for every CREATE PROCEDURE of the text. Every other
// byte of the text, comments included, comes back as it was.
#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"
#include "basParseText.h"
#include "vexilon_lib/basParse.h"

namespace basParse {

using namespace text;

namespace {

// The AS that ends the header, whatever follows it up to the next word: a
// ";", a "(" or nothing (comments and blanks are not in the form).
bool EndsHeader(const std::string& lsw) {
  if (!StartsWith(lsw, "AS")) return false;
  for (std::size_t i = 2; i < lsw.size(); ++i) {
    if (lsw[i] != ';' && lsw[i] != '(') return false;
  }
  return true;
}

}  // namespace

std::string GenerateStoredProcedureEncryptionScript(std::string_view source, std::string_view objectName) {
  const std::string coloured = PrepareColouredText(source, objectName, Kind::StoredProcedure);
  Tokens tokens(coloured);

  std::string result;
  result.reserve(source.size() + 64);
  bool searchingCreate = true;
  std::string_view token, following;
  bool haveToken = tokens.Next(token);
  bool haveFollowing = haveToken && tokens.Next(following);
  while (haveToken) {
    std::string rewritten;
    bool rewrote = false;
    if (searchingCreate) {
      // The CREATE keyword itself: a name that merely begins with "create"
      // (CreatedBy, CreateDate) starts a token here too and is no statement.
      // A token begins with its word, so its LW begins with CREATE\CF exactly
      // when the token begins with "create\cf".
      if (StartsWithNoCase(token, "CREATE\\cf")) {
        if (!haveFollowing) throw vx::ComError(vx::err::kSubscriptOutOfRange, "VexilonLib", "Subscript out of range");
        if (StartsWith(TokenForms(following, true).LSW(), "PROC")) {
          rewritten = ReplaceFirstNoCase(token, FirstNonSpaceCharacters(token, 6), "ALTER");
          rewrote = true;
          searchingCreate = false;
        }
      }
    } else {
      TokenForms forms(token, true);
      if (StartsWith(forms.LW(), "FOR\\CF") && haveFollowing &&
          StartsWith(TokenForms(following, true).LSW(), "REPLICATION")) {
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
      } else if (EndsHeader(forms.LSW())) {
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
    }
    AppendStripped(result, rewrote ? std::string_view(rewritten) : token);
    token = following;
    haveToken = haveFollowing;
    haveFollowing = haveToken && tokens.Next(following);
  }
  return FinishScript(result, objectName, Kind::StoredProcedure);
}

}  // namespace basParse
