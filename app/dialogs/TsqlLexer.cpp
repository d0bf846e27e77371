#include "dialogs/TsqlLexer.h"

#include <cstring>
#include <string>

#include <QColor>
#include <QFont>
#include <QFontDatabase>
#include <Qsci/qsciscintilla.h>

#include "dialogs/TsqlWords.h"

using vx::colour::TokenKind;
using vx::colour::TokenSpan;
using vx::colour::TokenSpans;
using vx::colour::TokenState;
namespace tsql = vx::app::tsql;

TsqlLexer::TsqlLexer(QObject* parent) : QsciLexerCustom(parent) {}
TsqlLexer::~TsqlLexer() = default;

QString TsqlLexer::description(int style) const {
  switch (style) {
    case tsql::kPlain: return QStringLiteral("Text");
    case tsql::kKeyword: return QStringLiteral("Keyword");
    case tsql::kOperator: return QStringLiteral("Operator");
    case tsql::kComment: return QStringLiteral("Comment");
    case tsql::kString: return QStringLiteral("String");
    case tsql::kFunction: return QStringLiteral("Function");
    case tsql::kSystemTable: return QStringLiteral("System table");
    default: return QString();
  }
}

QColor TsqlLexer::defaultColor(int style) const {
  switch (style) {
    case tsql::kComment: return QColor(0, 174, 0);
    case tsql::kFunction: return QColor(255, 0, 255);
    case tsql::kSystemTable: return QColor(0, 128, 128);
    case tsql::kKeyword: return QColor(0, 0, 128);
    case tsql::kOperator: return QColor(128, 128, 128);
    case tsql::kString: return QColor(255, 0, 0);
    default: return QColor(0, 0, 0);
  }
}

QColor TsqlLexer::defaultPaper(int) const { return QColor(255, 255, 255); }

QFont TsqlLexer::defaultFont(int) const { return EditorFont(); }

QFont TsqlLexer::EditorFont() {
  static const QFont font = [] {
    const QStringList families = QFontDatabase::families();
    for (const char* name : {"Courier New", "DejaVu Sans Mono"}) {
      if (families.contains(QLatin1String(name), Qt::CaseInsensitive)) {
        QFont f(QLatin1String(name), 10);
        f.setStyleHint(QFont::TypeWriter);
        return f;
      }
    }
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setPointSize(10);
    return f;
  }();
  return font;
}

namespace {

int StyleOf(const TokenSpan& span, const char* text, int length) {
  const std::string_view token(text + span.begin, span.length);
  switch (span.kind) {
    case TokenKind::Word: return tsql::WordStyle(token);
    case TokenKind::Variable:
      return token.size() > 2 && token[1] == '@' ? tsql::WordStyle(token) : int(tsql::kPlain);
    case TokenKind::String:
    case TokenKind::QuotedName: return tsql::kString;
    case TokenKind::LineComment:
    case TokenKind::BlockComment: return tsql::kComment;
    case TokenKind::Operator: {
      // "!=", "!<" and "!>" are operators; "!" alone is not.
      if (token == "!") {
        const std::size_t next = span.begin + 1;
        const char c = next < static_cast<std::size_t>(length) ? text[next] : '\0';
        return c == '=' || c == '<' || c == '>' ? int(tsql::kOperator) : int(tsql::kPlain);
      }
      return tsql::WordStyle(token);
    }
    default: return tsql::kPlain;
  }
}

}  // namespace

TokenState TsqlLexer::StyleLine(const char* text, int length, TokenState state, char* styles,
                                std::vector<TokenSpan>& spans) {
  spans.clear();
  const TokenState open = TokenSpans::Scan(std::string_view(text, static_cast<std::size_t>(length)), state, spans);
  std::memset(styles, tsql::kPlain, static_cast<std::size_t>(length));
  for (const TokenSpan& span : spans) {
    const int style = StyleOf(span, text, length);
    if (style != tsql::kPlain) std::memset(styles + span.begin, style, span.length);
  }
  return open;
}

void TsqlLexer::styleText(int start, int end) {
  QsciScintilla* ed = editor();
  if (!ed || end <= start) return;
  // From the start of start's line to the end of end's line.
  const long docLength = ed->SendScintilla(QsciScintillaBase::SCI_GETLENGTH);
  const long firstLine = ed->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION, static_cast<unsigned long>(start));
  const long lastLine = ed->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION, static_cast<unsigned long>(end));
  const long from = ed->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, static_cast<unsigned long>(firstLine));
  long to = ed->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, static_cast<unsigned long>(lastLine + 1));
  if (to < 0 || to > docLength) to = docLength;
  if (to <= from) return;
  const int length = static_cast<int>(to - from);
  const char* text = reinterpret_cast<const char*>(
      ed->SendScintilla(QsciScintillaBase::SCI_GETRANGEPOINTER, static_cast<unsigned long>(from), static_cast<long>(length)));
  if (!text) return;

  TokenState state;
  if (firstLine > 0) {
    state = TokenState::Unpack(static_cast<int>(
        ed->SendScintilla(QsciScintillaBase::SCI_GETLINESTATE, static_cast<unsigned long>(firstLine - 1))));
  }
  std::string styles(static_cast<std::size_t>(length), static_cast<char>(tsql::kPlain));
  std::vector<TokenSpan> spans;
  long line = firstLine;
  int at = 0;
  while (at < length) {
    // A line ends at CR, LF or CR LF, as the editor counts lines.
    int eol = at;
    while (eol < length && text[eol] != '\r' && text[eol] != '\n') ++eol;
    int next = eol;
    if (next < length && text[next] == '\r') ++next;
    if (next < length && text[next] == '\n' && (next == eol || text[next - 1] == '\r')) ++next;
    if (next == eol) next = length;  // the last line, without a line end
    state = StyleLine(text + at, eol - at, state, styles.data() + at, spans);
    if (state.open == TokenState::kBlockComment) {
      std::memset(styles.data() + eol, tsql::kComment, static_cast<std::size_t>(next - eol));
    }
    ed->SendScintilla(QsciScintillaBase::SCI_SETLINESTATE, static_cast<unsigned long>(line), static_cast<long>(state.Pack()));
    ++line;
    at = next;
  }
  startStyling(static_cast<int>(from));
  ed->SendScintilla(QsciScintillaBase::SCI_SETSTYLINGEX, static_cast<unsigned long>(length), styles.data());
}
