#pragma once
// Runs the statements of one batch on a session. Handlers parse their statement
// and, when `exec` is true, carry it out; with exec false they only parse (the
// branch of an IF not taken). Errors are raised as SimError.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Lexer.h"
#include "SimError.h"
#include "SimTypes.h"
#include "sqlserver/Session.h"

struct sqlite3_stmt;

namespace vx::sqlsim {

class SimSession;
struct ObjectRow;

// The error that refuses what the simulator does not do: "<what> is not
// supported by the simulated server."
SimError Unsupported(const std::string& what);

// A parsed [db.][owner.]name.
struct ObjectName {
  std::vector<std::string> parts;  // 1 to 3 parts, unescaped
  std::string text;                // as written
  const std::string& Name() const { return parts.back(); }
  std::string Owner() const { return parts.size() >= 2 ? parts[parts.size() - 2] : std::string(); }
  std::string Database() const { return parts.size() == 3 ? parts[0] : std::string(); }
};

class Executor {
 public:
  Executor(SimSession& session, std::string_view batch, std::vector<Token> tokens, sqlserver::ResultSink& out);
  // Parses the whole batch without running it: raises the first compile error
  // (syntax, names too long, misplaced options) before any statement has run.
  void Parse();
  // Runs the batch (after Parse).
  void Run();

  // Translates T-SQL expression/query tokens [from, to) into SQLite text.
  std::string Translate(size_t from, size_t to);
  // Whether the token at i is an argument of a function call (not of IN or a grouping).
  bool InCallArguments(size_t i) const;
  // Runs translated query text; [from, to) are the tokens it came from (for error lines).
  // A translated statement over the session's views; one SQLite refuses is
  // the batch's error at the statement's place.
  sqlite3_stmt* Prepare(const std::string& sql, size_t from, size_t to);
  sqlserver::ResultSet RunQuery(const std::string& sql, size_t from, size_t to);
  // Runs translated query text and hands its rows to the sink as SQLite steps them;
  // [from, to) is the query's select list onwards (its expressions' types are declared).
  void StreamQuery(const std::string& sql, size_t from, size_t to);
  // The server's types of the expressions of a SELECT's list [from, to) (GETDATE(),
  // CAST, CONVERT; "" for others), or none when the list does not name its columns.
  std::vector<std::string> SelectListTypes(size_t from, size_t to) const;
  std::string ExpressionType(size_t from, size_t to) const;
  // The items [begin, end) of a SELECT's list [from, to), or none when it holds a '*'.
  std::vector<std::pair<size_t, size_t>> SelectListItems(size_t from, size_t to) const;
  // The name the server gives the column of item [a, b): its alias, the column's
  // own name, or "" for an expression without an alias.
  bool KeepsSqliteName(size_t a, size_t b) const;

 private:
  // tokens
  const Token& Tk(size_t i) const { return tokens_[i < tokens_.size() ? i : tokens_.size() - 1]; }
  const Token& Cur() const { return Tk(pos_); }
  bool IsWord(size_t i, std::string_view upper) const;
  bool CurIs(std::string_view upper) const { return IsWord(pos_, upper); }
  bool IsSymbol(size_t i, std::string_view s) const;
  bool IsIdentifier(size_t i) const;
  bool AtStatementStart(size_t i) const;
  size_t StatementEnd(size_t from) const;
  SimError SyntaxErrorAt(size_t i) const;
  [[noreturn]] void SyntaxError(size_t i) const;
  void Expect(std::string_view upperWord);
  ObjectName ParseName();
  // Names separated by commas.
  std::vector<ObjectName> ParseNameList();
  std::string ParseIdentifierOrString();

  // parse-time checks
  void CheckQuery(const std::string& sql, size_t from, size_t to);
  // Error 191 when parentheses, CASE and signs in [from, to) nest deeper than
  // the simulator's passes over the text may recurse.
  void CheckNesting(size_t from, size_t to) const;
  // Refuses by name SELECT INTO and comparisons with ANY, SOME or ALL.
  void RefuseUnmodelled(size_t from, size_t to) const;
  // Error 131 when the type [a, b) of a CAST or CONVERT is longer than the server allows.
  void CheckTypeLength(size_t a, size_t b) const;
  SimError QueryError(int rc, const std::string& message, size_t from, size_t to) const;
  bool Written(const std::string& name, size_t from, size_t to) const;
  size_t OperandEnd(size_t i, size_t to) const;

  // expressions (SimExpr.cpp)
  bool StartsOperand(size_t i) const;
  bool IsTableHint(size_t i) const;
  size_t Matching(size_t open, size_t to) const;
  void PlanRange(size_t from, size_t to);
  void PlanInside(size_t first, size_t last);
  bool IsDateExpr(size_t a, size_t b) const;
  bool MixesBitwise(size_t op, size_t from, size_t to) const;
  std::string SameLengthBinary(size_t i, size_t from, size_t to, const std::string& sql);
  std::string CastType(size_t a, size_t b) const;
  std::string SourceHint(size_t a, size_t b) const;
  std::string FunctionName(size_t i) const;
  std::string FromClause(size_t from, size_t to);
  std::string TranslateCall(size_t& i, size_t to);
  void CheckViewBody(size_t bodyStart) const;

  // The server's type of the expression [a, b) (SimTyping.cpp): Unknown where the
  // simulator does not type it; columns through the statement's tables (SimColumns.cpp).
  SqlType TypeOf(size_t a, size_t b) const;
  SqlType TypeOfOperand(size_t a, size_t b) const;
  SqlType CaseTypeOf(size_t caseAt, size_t end, std::vector<std::pair<size_t, size_t>>* branches) const;
  SqlType ColumnTypeOf(size_t a, size_t b) const;
  bool ColumnIsDate(size_t a, size_t b) const;
  std::string NameAt(size_t k) const;  // the name of an identifier, upper-cased
  void CollectSources(size_t from, size_t to);
  // What the types change in the translation (SimTypingPlan.cpp): conversions to
  // the type values meet in, integer ranges, TOP of one SELECT, single-row subqueries.
  void PlanTypes(size_t from, size_t to);
  void PlanTop(size_t from, size_t to);
  void PlanSubqueries(size_t from, size_t to);
  size_t ExpressionStart(size_t from, size_t end) const;
  std::vector<std::vector<std::pair<size_t, size_t>>> UnionLists(size_t select, size_t to) const;
  std::vector<SqlType> UnionTypes(size_t select, size_t to) const;
  // Text around the tokens [a, b]: around what else is planned there, or within it.
  void Wrap(size_t a, size_t b, const std::string& before, const std::string& after, bool outer);
  // The checks the server makes of a query before it runs it (SimChecks.cpp).
  void CheckQueryShape(size_t from, size_t to);
  struct SelectParts;
  SelectParts PartsOf(size_t select, size_t to) const;
  void CheckGrouping(const SelectParts& p, const std::vector<std::pair<size_t, size_t>>& items) const;
  std::vector<std::pair<size_t, size_t>> ListItems(size_t from, size_t to) const;
  // A select-list item's expression and its alias, upper-cased ("" when it has none).
  std::pair<std::pair<size_t, size_t>, std::string> ItemExpression(size_t a, size_t b) const;
  std::string TokenText(size_t a, size_t b) const;  // tokens as one comparable text
  bool InFromList(size_t from, size_t k) const;
  void CheckSelectList(size_t from, size_t to) const;
  // LIKE and COLLATE (SimLike.cpp): the kind of text a LIKE at `like` compares ("N"
  // Unicode, "V" not, "V2" char(2), "?" not known) and its pattern's last token; a COLLATE at i
  // that names the server's collation passes, another is refused (448, or by name).
  char OperandKind(size_t a, size_t b) const;
  std::string LikeKind(size_t like, size_t from, size_t to, size_t& patternEnd) const;
  void CheckCollation(size_t i) const;

  // statements
  void Pass(bool exec);
  void Statement(bool exec, bool first);
  void Dispatch(bool exec, bool first);
  void Select(bool exec);
  void Use(bool exec);
  void Set(bool exec);
  void SetUser(bool exec);
  void Begin(bool exec);
  void EndTransaction(bool exec, bool commit);
  void If(bool exec);
  void Drop(bool exec);
  void ExecProcedure(bool exec);
  void ExecuteSql(bool exec);  // EXEC sp_executesql (SimExecuteSql.cpp)
  void Print(bool exec);
  void Permission(bool exec);
  // A parenthesised list of column names (a view's header, GRANT on columns).
  std::vector<std::string> ParseColumnList();
  void Create(bool exec, bool first);
  void CreateTable(bool exec);
  void CreateDatabase(bool exec);
  void CreateProgrammable(bool exec, bool first, bool alter, const std::string& kind, size_t keywordIndex);
  std::string ConditionQuery(size_t from, size_t to);
  bool EvalCondition(size_t from, size_t to);

  // system procedures (security set-up)
  void SystemProcedure(const std::string& name, const std::vector<std::optional<std::string>>& args);
  // The text of `objectName` in database `dbid`, one row per line.
  void HelpText(const std::string& objectName, int32_t dbid);
  // "@name" of each parameter a user procedure declares, in order; nullopt when
  // its text is not kept (encrypted).
  std::optional<std::vector<std::string>> ProcedureParameters(const ObjectRow& procedure,
                                                              const std::string& database);
  // The id of a database named in a call, which the session may read (911, 916).
  int32_t DatabaseToRead(const std::string& name);

  // header grammar
  struct Header {
    std::string xtype;
    ObjectName name;
    std::optional<ObjectName> table;  // triggers
    bool encrypted = false;
    bool schemaBound = false;
    bool insteadOf = false;  // triggers
    std::vector<std::string> columns;  // a view's column list, when it has one
    size_t bodyStart = 0;
  };
  Header ParseProcedureHeader();
  Header ParseViewHeader();
  Header ParseFunctionHeader();
  Header ParseTriggerHeader();
  void ParseOptions(const std::vector<std::string>& allowed, Header& h);

  // schema binding (SimBinding.cpp)
  struct Reference {
    std::vector<std::string> parts;
    std::string text;   // as written
    bool call = false;  // a function called
  };
  // The objects a view's or function's body names: tables and views after FROM
  // and JOIN, functions called with their owner.
  std::vector<Reference> BodyReferences(size_t bodyStart) const;
  // Checks the names a new view or function uses (4512, 1054, 208); returns the
  // objects a schema-bound one binds to.
  std::vector<int32_t> CheckReferences(const Header& h, int32_t dbid, int32_t ownerUid);
  // Keeps what a view or function binds to, replacing what it bound before.
  void RecordBinding(const Header& h, int32_t dbid, int32_t id, const std::vector<int32_t>& refs);
  // Refuses to change or drop an object a schema-bound one references (3729).
  void CheckNotReferenced(int32_t dbid, const ObjectRow& obj, const std::string& statement,
                          const std::string& name);
  // Removes an object's indexes and bindings (dropped, or a view altered: indexes only).
  void ForgetIndexes(int32_t dbid, int32_t id);
  void ForgetBinding(int32_t dbid, int32_t id);
  // Why the schema-bound view [bodyStart, end) cannot be indexed ("1936" for the
  // server's refusal, a description for what the simulator does not check), "" when it can.
  std::string IndexVerdict(size_t bodyStart, int32_t ownerUid, const std::vector<Reference>& refs) const;
  std::vector<std::string> ViewColumns(const Header& h) const;

  // indexes of views (SimIndexes.cpp)
  void CreateIndex(bool exec);
  void DropIndex(bool exec);
  void ExpectBodyStart(const Header& h);

  void Message(int number, int severity, std::string text);
  bool CanDoDdl(int32_t dbid) const;
  // The batch's parameter of that variable name ("@ID", upper-cased), or -1.
  int ParameterIndex(const std::string& upperName) const;

  SimSession& s_;
  std::string_view batch_;
  std::vector<Token> tokens_;
  sqlserver::ResultSink& out_;
  size_t pos_ = 0;
  int depth_ = 0;  // nesting of IF / BEGIN ... END
  bool parsing_ = false;  // the parse pass of Parse()
  // The rewriting of '+' and '-' chains, by token: text before, instead of, after.
  std::map<size_t, std::string> prefix_, replace_, suffix_;
  std::vector<bool> planned_;
  std::map<size_t, std::string> literalTypes_;  // a string constant converted to this type where it stands
  std::string fromClause_;  // the FROM clause of the statement being translated
  // The tables and derived tables of the statement being translated: by alias, a
  // catalogue table ("objects") or a derived table's tokens [from, to).
  struct Source {
    std::string alias;
    std::string table;
    size_t from = 0, to = 0;
  };
  std::vector<Source> sources_;
  mutable std::map<std::pair<size_t, size_t>, SqlType> types_;  // the types found, by token range
  mutable int typingDepth_ = 0;
  size_t sourcesFrom_ = 1, sourcesTo_ = 0;  // the tokens sources_ were read from
  int translateDepth_ = 0;
  mutable int renamedColumns_ = -1;  // catalogue text columns the batch names itself (SimLike.cpp)
};

}  // namespace vx::sqlsim
