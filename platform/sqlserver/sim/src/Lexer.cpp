#include "Lexer.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace vx::sqlsim {

std::string Upper(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return r;
}

namespace {
bool IsWordStart(unsigned char c) { return std::isalpha(c) || c == '_' || c == '#' || c >= 0x80; }
bool IsWordChar(unsigned char c) { return std::isalnum(c) || c == '_' || c == '#' || c == '@' || c == '$' || c >= 0x80; }

size_t CharCount(std::string_view s) {
  size_t n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

// The first `chars` characters of UTF-8 text.
std::string_view Prefix(std::string_view s, size_t chars) {
  size_t i = 0;
  for (size_t n = 0; i < s.size(); ++i)
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80 && n++ == chars) break;
  return s.substr(0, i);
}

// Names of at most 128 characters, as sysname holds them (message 103).
void CheckLength(const Token& t) {
  bool name = t.kind == Tok::Word || t.kind == Tok::Bracketed || t.kind == Tok::QuotedId || t.kind == Tok::Variable;
  const std::string& s = t.kind == Tok::Word || t.kind == Tok::Variable ? t.text : t.value;
  if (!name) return;
  // A name cut at a NUL would be another name: none may hold one.
  if (s.find('\0') != std::string::npos)
    throw LexError{1055, "'" + std::string(Prefix(s.substr(0, s.find('\0')), 128)) +
                             "' is an invalid name because it contains a NULL character or an invalid unicode "
                             "character.", t.line};
  if (CharCount(s) <= 128) return;
  throw LexError{103, "The identifier that starts with '" + std::string(Prefix(s, 128)) +
                          "' is too long. Maximum length is 128.", t.line};
}

std::string Excerpt(std::string_view s) {
  // SQL Server quotes the rest of the text after an unclosed quotation mark.
  return std::string(s.substr(0, std::min<size_t>(s.size(), 120)));
}
}  // namespace

std::vector<Token> Tokenize(std::string_view s, bool quotedIdentifier) {
  std::vector<Token> out;
  size_t i = 0;
  int line = 1;
  const size_t n = s.size();
  auto countLines = [&](size_t from, size_t to) {
    for (size_t k = from; k < to; ++k)
      if (s[k] == '\n') ++line;
  };
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (std::isspace(c)) {
      if (c == '\n') ++line;
      ++i;
      continue;
    }
    if (c == '-' && i + 1 < n && s[i + 1] == '-') {
      while (i < n && s[i] != '\n' && s[i] != '\r') ++i;  // CR, LF or CR LF ends it
      continue;
    }
    if (c == '/' && i + 1 < n && s[i + 1] == '*') {
      int depth = 1;
      size_t k = i + 2;
      while (k < n && depth > 0) {
        if (s[k] == '/' && k + 1 < n && s[k + 1] == '*') {
          ++depth;
          k += 2;
        } else if (s[k] == '*' && k + 1 < n && s[k + 1] == '/') {
          --depth;
          k += 2;
        } else {
          ++k;
        }
      }
      if (depth > 0) throw LexError{113, "Missing end comment mark '*/'.", line};
      countLines(i, k);
      i = k;
      continue;
    }
    Token t;
    t.begin = i;
    t.line = line;
    bool national = false;
    size_t q = i;
    if ((c == 'N' || c == 'n') && i + 1 < n && s[i + 1] == '\'') {
      national = true;
      q = i + 1;
    }
    char qc = s[q];
    if (qc == '\'' || (qc == '"' && !national) || qc == '[') {
      char close = qc == '[' ? ']' : qc;
      size_t k = q + 1;
      std::string value;
      bool closed = false;
      while (k < n) {
        if (s[k] == close) {
          if (k + 1 < n && s[k + 1] == close) {
            value += close;
            k += 2;
            continue;
          }
          closed = true;
          ++k;
          break;
        }
        value += s[k++];
      }
      if (!closed)
        throw LexError{105, "Unclosed quotation mark before the character string '" + Excerpt(s.substr(q + 1)) + "'.",
                       line};
      countLines(i, k);
      t.end = k;
      t.text = std::string(s.substr(i, k - i));
      t.value = value;
      t.national = national;
      if (qc == '[') t.kind = Tok::Bracketed;
      else if (qc == '"' && quotedIdentifier) t.kind = Tok::QuotedId;
      else t.kind = Tok::String;
      CheckLength(t);
      out.push_back(std::move(t));
      i = k;
      continue;
    }
    if (c == '@') {
      size_t k = i + 1;
      while (k < n && IsWordChar(static_cast<unsigned char>(s[k]))) ++k;
      t.kind = Tok::Variable;
      t.end = k;
      t.text = std::string(s.substr(i, k - i));
      t.value = Upper(t.text);
      CheckLength(t);
      out.push_back(std::move(t));
      i = k;
      continue;
    }
    if (IsWordStart(c)) {
      size_t k = i + 1;
      while (k < n && IsWordChar(static_cast<unsigned char>(s[k]))) ++k;
      t.kind = Tok::Word;
      t.end = k;
      t.text = std::string(s.substr(i, k - i));
      t.value = Upper(t.text);
      CheckLength(t);
      out.push_back(std::move(t));
      i = k;
      continue;
    }
    if (std::isdigit(c) || (c == '.' && i + 1 < n && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
      size_t k = i;
      if (c == '0' && k + 1 < n && (s[k + 1] == 'x' || s[k + 1] == 'X')) {
        k += 2;
        while (k < n && std::isxdigit(static_cast<unsigned char>(s[k]))) ++k;
      } else {
        while (k < n && (std::isdigit(static_cast<unsigned char>(s[k])) || s[k] == '.')) ++k;
        if (k < n && (s[k] == 'e' || s[k] == 'E')) {
          ++k;
          if (k < n && (s[k] == '+' || s[k] == '-')) ++k;
          while (k < n && std::isdigit(static_cast<unsigned char>(s[k]))) ++k;
        }
      }
      t.kind = Tok::Number;
      t.end = k;
      t.text = std::string(s.substr(i, k - i));
      t.value = t.text;
      out.push_back(std::move(t));
      i = k;
      continue;
    }
    // Symbols, two-character operators first.
    static const std::array<std::string_view, 6> two{"<>", "!=", ">=", "<=", "!<", "!>"};
    size_t len = 1;
    for (auto op : two)
      if (s.substr(i, 2) == op) len = 2;
    t.kind = Tok::Symbol;
    t.end = i + len;
    t.text = std::string(s.substr(i, len));
    t.value = t.text;
    out.push_back(std::move(t));
    i += len;
  }
  Token end;
  end.kind = Tok::End;
  end.begin = end.end = n;
  end.line = line;
  out.push_back(end);
  return out;
}

bool IsReservedWord(std::string_view w) {
  static const std::string_view words[] = {
      "ADD", "ALL", "ALTER", "AND", "ANY", "AS", "ASC", "AUTHORIZATION", "BACKUP", "BEGIN", "BETWEEN", "BREAK",
      "BROWSE", "BULK", "BY", "CASCADE", "CASE", "CHECK", "CHECKPOINT", "CLOSE", "CLUSTERED", "COALESCE",
      "COLLATE", "COLUMN", "COMMIT", "COMPUTE", "CONSTRAINT", "CONTAINS", "CONTINUE", "CONVERT", "CREATE",
      "CROSS", "CURRENT", "CURRENT_DATE", "CURRENT_TIME", "CURRENT_TIMESTAMP", "CURRENT_USER", "CURSOR",
      "DATABASE", "DEALLOCATE", "DECLARE", "DEFAULT", "DELETE", "DENY", "DESC",
      "DISTINCT", "DISTRIBUTED", "DROP", "ELSE", "END", "ESCAPE", "EXCEPT", "EXEC", "EXECUTE", "EXISTS", "EXIT",
      "FETCH", "FILE", "FOR", "FOREIGN", "FROM", "FULL", "FUNCTION", "GOTO", "GRANT", "GROUP", "HAVING",
      "HOLDLOCK", "IDENTITY", "IF", "IN", "INDEX", "INNER", "INSERT", "INTERSECT", "INTO", "IS", "JOIN", "KEY",
      "KILL", "LEFT", "LIKE", "NOCHECK", "NONCLUSTERED", "NOT", "NULL", "NULLIF", "OF", "OFF", "ON", "OPEN",
      "OPTION", "OR", "ORDER", "OUTER", "OVER", "PERCENT", "PRIMARY", "PRINT", "PROC", "PROCEDURE", "PUBLIC",
      "RETURN", "REPLICATION", "RIGHT", "ROLLBACK", "SAVE", "SELECT", "SESSION_USER", "SET", "SETUSER", "SOME",
      "SYSTEM_USER", "TABLE", "THEN", "TO", "TOP",
      "TRAN", "TRANSACTION", "TRIGGER", "UNION", "UNIQUE", "UPDATE", "USE", "USER", "VALUES", "VIEW", "WHEN",
      "WHERE", "WHILE", "WITH"};
  return std::find(std::begin(words), std::end(words), w) != std::end(words);
}

}  // namespace vx::sqlsim
