// The tokenizer as spans: kinds, what a piece leaves open for the next one,
// and the same classes as the RTF colouring gives each character.
#include "syntax_colourer/TokenSpans.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "syntax_colourer/SyntaxColourer.h"

namespace {

using vx::colour::TokenKind;
using vx::colour::TokenSpans;
using vx::colour::TokenState;

// The kinds of the tokens, in order, with their texts.
std::vector<std::pair<TokenKind, std::string>> Tokens(const std::string& text) {
  std::vector<std::pair<TokenKind, std::string>> out;
  for (const auto& span : TokenSpans::Scan(text)) out.emplace_back(span.kind, text.substr(span.begin, span.length));
  return out;
}

TEST(TokenSpansTest, SplitsTextIntoKinds) {
  using K = TokenKind;
  const std::vector<std::pair<K, std::string>> expected = {
      {K::Word, "SELECT"}, {K::Variable, "@@ERROR"}, {K::Operator, ","}, {K::String, "N'it''s'"},
      {K::BracketedName, "[a]]b]"}, {K::QuotedName, "\"q\""}, {K::Number, "1.5e3"}, {K::TempName, "#t"},
      {K::LineComment, "-- to the end"}, {K::BlockComment, "/* a /* b */\r c */"}, {K::Word, "GO"}};
  EXPECT_EQ(Tokens("SELECT @@ERROR, N'it''s' [a]]b] \"q\" 1.5e3 #t -- to the end\r\n/* a /* b */\r c */ GO"),
            expected);
}

TEST(TokenSpansTest, APieceLeavesOpenWhatTheNextCarriesOn) {
  struct Row {
    const char* name;
    const char* first;
    TokenState open;
    const char* second;
    TokenKind secondKind;  // of the second piece's first token
  };
  const Row rows[] = {
      {"NestedComment", "/* a /* b", {TokenState::kBlockComment, 2}, "c */ still */", TokenKind::BlockComment},
      {"String", "'it''s", {TokenState::kString, 0}, "more' x", TokenKind::String},
      {"QuotedName", "\"a", {TokenState::kQuotedName, 0}, "b\"", TokenKind::QuotedName},
      {"BracketedName", "[a", {TokenState::kBracketedName, 0}, "b]", TokenKind::BracketedName},
      {"LineCommentEndsAtTheLineEnd", "-- x", {}, "SELECT", TokenKind::Word},
  };
  for (const Row& row : rows) {
    std::vector<vx::colour::TokenSpan> spans;
    const TokenState open = TokenSpans::Scan(row.first, TokenState{}, spans);
    EXPECT_EQ(open, row.open) << row.name;
    EXPECT_EQ(TokenState::Unpack(open.Pack()), open) << row.name;
    spans.clear();
    const TokenState after = TokenSpans::Scan(row.second, open, spans);
    ASSERT_FALSE(spans.empty()) << row.name;
    EXPECT_EQ(spans[0].kind, row.secondKind) << row.name;
    EXPECT_EQ(after, TokenState{}) << row.name;
  }
}

// Each character's class in the RTF colouring ("\cf<n> " ... "\cf "), 0 outside runs.
std::vector<int> ColourerClasses(const std::string& coloured) {
  std::vector<int> classes;
  int current = 0;
  std::size_t i = 0;
  while (i < coloured.size()) {
    if (coloured.compare(i, 3, "\\cf") == 0) {
      std::size_t j = i + 3;
      int n = 0;
      while (j < coloured.size() && std::isdigit(static_cast<unsigned char>(coloured[j]))) n = n * 10 + (coloured[j++] - '0');
      current = j > i + 3 ? n : 0;
      i = j < coloured.size() && coloured[j] == ' ' ? j + 1 : j;
    } else if (coloured.compare(i, 4, "\\par") == 0) {
      i += coloured.compare(i, 5, "\\par ") == 0 ? 5 : 4;
    } else {
      classes.push_back(current);
      ++i;
    }
  }
  return classes;
}

TEST(TokenSpansTest, GivesEachCharacterTheClassOfTheRtfColouring) {
  const std::string text =
      "CREATE PROCEDURE dbo.[Order Report] @from datetime = NULL\n"
      "AS /* outer /* inner */ still */ -- note\n"
      "SELECT N'it''s', \"quoted\", 0x1F, 1.5e3, #tmp.col * 2 / 3\n"
      "FROM sysobjects WHERE @@ERROR <> 0 AND name LIKE 'a%' -- end";
  const std::vector<int> expected = ColourerClasses(vx::SyntaxColourer().ColourSQL(text, 1));
  ASSERT_EQ(expected.size(), text.size());
  std::vector<int> classes(text.size(), 0);
  for (const auto& span : TokenSpans::Scan(text)) {
    for (std::size_t k = 0; k < span.length; ++k) classes[span.begin + k] = span.colourClass;
  }
  for (std::size_t k = 0; k < text.size(); ++k) {
    EXPECT_EQ(classes[k], expected[k]) << "at " << k << " '" << text[k] << "' in '" << text.substr(k, 12) << "'";
  }
}

}  // namespace
