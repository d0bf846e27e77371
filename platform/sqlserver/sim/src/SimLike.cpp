// What the translation of LIKE and COLLATE needs to know of the statement: whether
// a LIKE compares Unicode text (its trailing blanks count) or not (the value's
// trailing blanks are ignored), and which collation a COLLATE names.
#include "Executor.h"
#include "SimCollation.h"
#include "SimSession.h"
#include "SimTypes.h"

namespace vx::sqlsim {

namespace {

// 'N' for a Unicode type, 'V' for another text type, '?' for one not known.
char KindOfType(const std::string& type) {
  const std::string t = Lower(type.substr(0, type.find('(')));
  if (t == "nvarchar" || t == "nchar" || t == "ntext" || t == "sysname") return 'N';
  if (t == "varchar" || t == "char" || t == "text") return 'V';
  return '?';
}

}  // namespace

char Executor::OperandKind(size_t a, size_t b) const {
  if (b != a + 1 && !(b == a + 3 && IsSymbol(a + 1, "."))) return '?';
  const Token& t = Tk(b - 1);
  if (b == a + 1 && t.kind == Tok::String) return t.national ? 'N' : 'V';
  if (b == a + 1 && t.kind == Tok::Variable) {
    const int p = ParameterIndex(t.value);
    return p >= 0 ? KindOfType((*s_.parameters_)[static_cast<size_t>(p)].sqlType) : '?';
  }
  if (!IsIdentifier(b - 1)) return '?';
  // the catalogue's text columns: names and text are nvarchar, object types char(2),
  // unless the batch gives that name to a column of its own (a derived table's)
  const std::string column = Lower(t.kind == Tok::Word ? t.text : t.value);
  static const char* const kColumns[] = {"name", "text", "dbname", "loginname", "xtype", "type"};
  if (renamedColumns_ < 0) {  // once per batch: which of them it names itself
    renamedColumns_ = 0;
    for (size_t k = 1; k + 1 < tokens_.size(); ++k) {
      if (!IsIdentifier(k)) continue;
      const Token& n = tokens_[k];
      const Token& before = tokens_[k - 1];
      const bool named = IsWord(k - 1, "AS") || before.kind == Tok::String || before.kind == Tok::Number ||
                         IsSymbol(k - 1, ")") || IsWord(k - 1, "END") ||
                         (IsSymbol(k + 1, "=") && (IsWord(k - 1, "SELECT") || IsSymbol(k - 1, ",")));
      for (int c = 0; named && c < 6; ++c)
        if (Lower(n.kind == Tok::Word ? n.text : n.value) == kColumns[c]) renamedColumns_ |= 1 << c;
    }
  }
  for (int c = 0; c < 6; ++c)
    if (column == kColumns[c] && (renamedColumns_ & (1 << c))) return '?';
  if (column == "name" || column == "text" || column == "dbname" || column == "loginname") return 'N';
  if (column == "xtype" || column == "type") return 'V';
  return '?';
}

std::string Executor::LikeKind(size_t like, size_t from, size_t to, size_t& patternEnd) const {
  // the pattern: up to the end of the predicate
  int depth = 0;
  size_t k = like + 1;
  for (; k < to; ++k) {
    if (IsSymbol(k, "(") || IsWord(k, "CASE")) {
      ++depth;
      continue;
    }
    if (depth > 0) {
      if (IsSymbol(k, ")") || IsWord(k, "END")) --depth;
      continue;
    }
    if (IsSymbol(k, ")") || IsSymbol(k, ",") || IsSymbol(k, ";") || IsSymbol(k, "=") || IsSymbol(k, "<") ||
        IsSymbol(k, ">") || IsSymbol(k, "<>") || IsSymbol(k, "!=") || IsSymbol(k, "<=") || IsSymbol(k, ">="))
      break;
    static const char* const kEnds[] = {"AND",   "OR",    "THEN",   "WHEN",  "ELSE",  "END",     "ESCAPE",
                                        "FROM",  "WHERE", "GROUP",  "ORDER", "HAVING", "UNION", "AS",
                                        "COLLATE", "IS",  "SELECT", "INTO"};
    bool end = false;
    for (const char* w : kEnds) end = end || IsWord(k, w);
    if (end) break;
  }
  patternEnd = k > like + 1 ? k - 1 : like;
  // the value: the operand just before [NOT] LIKE
  size_t valueEnd = like;
  if (valueEnd > from && IsWord(valueEnd - 1, "NOT")) --valueEnd;
  size_t valueStart = valueEnd > from ? valueEnd - 1 : valueEnd;
  if (valueStart >= from + 2 && IsSymbol(valueStart - 1, ".") && IsIdentifier(valueStart - 2)) valueStart -= 2;
  const char value = valueStart < valueEnd ? OperandKind(valueStart, valueEnd) : '?';
  const char pattern = OperandKind(like + 1, patternEnd + 1);
  if (value == 'N' || pattern == 'N') return "N";
  if (value != 'V' || pattern != 'V') return "?";
  // an object's type is char(2): its one-letter values are kept without the blank the server pads them with
  const Token& column = Tk(valueEnd - 1);
  return Tk(valueEnd - 1).kind != Tok::String && (Lower(column.text) == "xtype" || Lower(column.text) == "type" ||
                                                  Lower(column.value) == "xtype" || Lower(column.value) == "type")
             ? "V2"
             : "V";
}

void Executor::CheckCollation(size_t i) const {
  const Token& name = Tk(i + 1);
  if (name.kind != Tok::Word && name.kind != Tok::Bracketed && name.kind != Tok::QuotedId) SyntaxError(i + 1);
  const std::string text = name.kind == Tok::Word ? name.text : name.value;
  switch (ClassifyCollation(text)) {
    case CollationName::Default: return;
    case CollationName::Invalid: throw SimError{448, 16, "Invalid collation '" + text + "'.", name.line};
    case CollationName::Unsupported: throw Unsupported("The collation " + text);
  }
}

}  // namespace vx::sqlsim
