// The viewers' T-SQL colouring, styled one line per request as the editor asks
// for ranges, so every row also crosses range boundaries.
#include <QApplication>
#include <Qsci/qsciscintilla.h>

#include "dialogs/TsqlLexer.h"
#include "dialogs/TsqlWords.h"
#include "support/UiTest.h"

namespace {

namespace tsql = vx::app::tsql;

struct Probe {
  const char* token;  // its last occurrence in the text
  int style;
};
struct Row {
  const char* name;
  const char* text;
  std::vector<Probe> probes;
};
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

class TsqlLexerTest : public ui_test::UiTest, public ::testing::WithParamInterface<Row> {};

// Styles the editor's text one line per request, each request starting where
// the editor's styling ended.
void StyleLineByLine(QsciScintilla& editor, TsqlLexer& lexer) {
  const long lines = editor.SendScintilla(QsciScintillaBase::SCI_GETLINECOUNT);
  for (long line = 0; line < lines; ++line) {
    const long from = editor.SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, line);
    const long to = editor.SendScintilla(QsciScintillaBase::SCI_GETLINEENDPOSITION, line);
    lexer.styleText(static_cast<int>(from), static_cast<int>(std::max(to, from + 1)));
  }
}

TEST_P(TsqlLexerTest, Styles) {
  const Row& row = GetParam();
  QsciScintilla editor;
  auto* lexer = new TsqlLexer(&editor);
  editor.setLexer(lexer);
  editor.setText(QString::fromUtf8(row.text));
  StyleLineByLine(editor, *lexer);
  const std::string text(row.text);
  for (const Probe& probe : row.probes) {
    const std::size_t at = text.rfind(probe.token);
    ASSERT_NE(at, std::string::npos) << probe.token;
    for (std::size_t k = 0; k < std::strlen(probe.token); ++k) {
      EXPECT_EQ(editor.SendScintilla(QsciScintillaBase::SCI_GETSTYLEAT, static_cast<unsigned long>(at + k)),
                probe.style)
          << row.name << ": '" << probe.token << "' byte " << k;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TsqlLexerTest,
    ::testing::Values(
        Row{"KeywordInAnyCase", "select a FROM b Where c", {{"select", tsql::kKeyword}, {"Where", tsql::kKeyword}}},
        Row{"ProcAndEncryptionAreKeywordsGoIsPlain", "create proc p with encryption as\nGO",
            {{"proc", tsql::kKeyword}, {"encryption", tsql::kKeyword}, {"GO", tsql::kPlain}}},
        Row{"GlobalVariableIsAFunctionLocalOneIsPlain", "IF @@error <> 0 SET @error = GETDATE()",
            {{"@@error", tsql::kFunction}, {"@error", tsql::kPlain}, {"GETDATE", tsql::kFunction}}},
        Row{"SystemTable", "SELECT name FROM SysObjects", {{"SysObjects", tsql::kSystemTable}}},
        Row{"Operators", "a != b AND c >= 1", {{"!", tsql::kOperator}, {"=", tsql::kOperator},
                                                {"AND", tsql::kOperator}, {">", tsql::kOperator}}},
        Row{"NestedCommentAcrossRanges", "/* one /* two */\nstill SELECT\n*/ WHERE",
            {{"still SELECT", tsql::kComment}, {"*/", tsql::kComment}, {"WHERE", tsql::kKeyword}}},
        Row{"LineComment", "-- FROM here\nWHERE", {{"FROM here", tsql::kComment}, {"WHERE", tsql::kKeyword}}},
        Row{"StringWithDoubledQuote", "SELECT 'it''s FROM' + x", {{"'it''s FROM'", tsql::kString},
                                                                  {"+", tsql::kOperator}}},
        Row{"DoubleQuotedText", "SELECT \"a FROM\" x", {{"\"a FROM\"", tsql::kString}}},
        Row{"StringAcrossLines", "PRINT 'one\nFROM' WHERE", {{"FROM'", tsql::kString}, {"WHERE", tsql::kKeyword}}},
        Row{"BracketedName", "SELECT [order] FROM [select]", {{"order", tsql::kPlain}, {"select", tsql::kPlain},
                                                              {"FROM", tsql::kKeyword}}},
        Row{"CrOnlyLineEnds", "-- FROM\rWHERE x\r/* a\rb */ SELECT",
            {{"WHERE", tsql::kKeyword}, {"b */", tsql::kComment}, {"SELECT", tsql::kKeyword}}},
        Row{"CrLfLineEnds", "-- FROM\r\nWHERE 'a\r\nb' ORDER", {{"WHERE", tsql::kKeyword}, {"b'", tsql::kString},
                                                                 {"ORDER", tsql::kKeyword}}}),
    [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

}  // namespace
