#pragma once
// The viewers' T-SQL colouring: a container lexer fed by the project's T-SQL
// tokenizer. It styles only the lines the editor asks for, and keeps what each
// line leaves open (a nested block comment, a string, a quoted or bracketed
// name) in the editor's line state, so that any later range starts right.
#include <vector>

#include <Qsci/qscilexercustom.h>

#include "syntax_colourer/TokenSpans.h"

class TsqlLexer : public QsciLexerCustom {
  Q_OBJECT

 public:
  explicit TsqlLexer(QObject* parent = nullptr);
  ~TsqlLexer() override;

  const char* language() const override { return "T-SQL"; }
  QString description(int style) const override;
  QColor defaultColor(int style) const override;
  QColor defaultPaper(int style) const override;
  QFont defaultFont(int style) const override;
  void styleText(int start, int end) override;

  // The editor font: Courier New where it exists, else DejaVu Sans Mono, else
  // the system's fixed-width font.
  static QFont EditorFont();
  // The styles of one line (or any text starting in `state`), one byte per
  // byte of text; returns what the text leaves open. Used by styleText.
  static vx::colour::TokenState StyleLine(const char* text, int length, vx::colour::TokenState state,
                                          char* styles, std::vector<vx::colour::TokenSpan>& spans);
};
