#pragma once
// Tokens of one T-SQL batch. Comments and blanks are skipped; every token keeps
// its place in the batch text so statements can be cut out verbatim.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vx::sqlsim {

enum class Tok { Word, Bracketed, QuotedId, String, Number, Variable, Symbol, End };

struct Token {
  Tok kind = Tok::End;
  std::string text;    // as written
  std::string value;   // identifier or string content, unescaped; upper-cased for words
  size_t begin = 0;    // offset in the batch
  size_t end = 0;
  int line = 1;
  bool national = false;  // N'...'
};

// Raised for an unterminated string, bracket or comment (messages 105, 113), for
// a name longer than 128 characters (103) and for a name holding a NUL (1055).
struct LexError {
  int number;
  std::string text;
  int line;
};

// quotedIdentifier: whether "..." is an identifier (ON) or a string (OFF).
std::vector<Token> Tokenize(std::string_view batch, bool quotedIdentifier);

// True for the words SQL Server 2000 reserves (a syntax error near one of them is
// message 156 "near the keyword").
bool IsReservedWord(std::string_view upperWord);

std::string Upper(std::string_view s);

}  // namespace vx::sqlsim
