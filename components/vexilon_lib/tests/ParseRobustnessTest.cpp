// Texts pieced together at random from the fragments that trouble a T-SQL
// rewrite: every rewriter gives a result or a clear error, and text outside
// the places the rewrite changes comes back byte for byte.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"
#include "vexilon_lib/basParse.h"

namespace {

// Fragments that the rewrite leaves alone when no CREATE, block comment, type
// word or mask word is near them.
const std::vector<std::string> kPlainFragments = {
    "PROC", "PROCEDURE", "FUNCTION", "TRIGGER", "VIEW", " ", "\r\n", "\n", "\r", "\t", "AS", "as", "WITH",
    "BEGIN", "END", "ON", "FOR", "REPLICATION", "RETURN", "RETURNS", "TABLE", "SCHEMABINDING", "RECOMPILE",
    "--", "'", "N'", "\"", "[", "]", "]]", "\\", "\\cf", "\\cf1 ", "\\cf ", "\\par", "\\cf8", "{", "}",
    "\\cf5 *\\cf \\cf5 /\\cf", "\xC2\xAB", "\xC2\xAC", "\xC2\xBB", "@a", "@@x", "#t", "dbo", ".", "p", "x", "1",
    "-2147483648", "(", ")", ",", "*", "/", "=", "int", "CreatedBy", "ProcName", std::string(1, '\0'),
    "\xC3\xA9", "GO"};

const std::vector<std::string> kAllFragments = [] {
  std::vector<std::string> all = kPlainFragments;
  for (const char* f : {"CREATE", "create", "/*", "*/", "text", "image", "sysname", "bigint", "datetime",
                        "nvarchar", "__________leftsquarebracket", "__________cf "}) {
    all.emplace_back(f);
  }
  return all;
}();

std::string RandomText(std::mt19937& rng, const std::vector<std::string>& fragments, int maxPieces) {
  std::string text;
  const int pieces = static_cast<int>(rng() % static_cast<unsigned>(maxPieces));
  for (int k = 0; k < pieces; ++k) text += fragments[rng() % fragments.size()];
  return text;
}

}  // namespace

TEST(ParseRobustnessTest, EveryTextGivesAResultOrAClearError) {
  std::mt19937 rng(20261208);
  for (int i = 0; i < 3000; ++i) {
    const std::string text = RandomText(rng, kAllFragments, 40);
    for (auto rewrite : {basParse::GenerateStoredProcedureEncryptionScript, basParse::GenerateTriggerEncryptionScript,
                         basParse::GenerateUserDefinedFunctionEncryptionScript,
                         basParse::GenerateViewEncryptionScript}) {
      try {
        rewrite(text, "p");
      } catch (const vx::ComError& e) {
        // Only the procedure rewrite fails, and only on a CREATE with nothing after it.
        EXPECT_EQ(e.Number(), vx::err::kSubscriptOutOfRange) << text;
        EXPECT_EQ(rewrite, basParse::GenerateStoredProcedureEncryptionScript);
      }
    }
    EXPECT_NO_THROW(basParse::ParseSQLSyntax(text));
  }
}

TEST(ParseRobustnessTest, TextOutsideTheHeaderComesBackByteForByte) {
  std::mt19937 rng(8122026);
  for (int i = 0; i < 3000; ++i) {
    const std::string body = RandomText(rng, kPlainFragments, 30);
    // "*" and "/" pieced together make a stray end of comment, which is no T-SQL
    // and which the rewrite takes away.
    if (body.find("*/") != std::string::npos) continue;
    // No CREATE at all: nothing changes.
    EXPECT_EQ(basParse::GenerateStoredProcedureEncryptionScript(body, "p"), body);
    // After a procedure's header, the body is left as it was.
    EXPECT_EQ(basParse::GenerateStoredProcedureEncryptionScript("CREATE PROC q AS\r\nRETURN " + body, "q"),
              "ALTER PROC q WITH ENCRYPTION\r\nAS\r\nRETURN " + body);
  }
}
