// EXEC sp_executesql in a batch: the statement runs with the values given,
// each converted to the type the declaration gives its parameter, as a call of
// sp_executesql over RPC runs (SimParameters.cpp).
#include <algorithm>
#include <optional>

#include "Executor.h"
#include "SimParameters.h"
#include "SimSession.h"
#include "SimTypes.h"
#include "sqlserver/Utf16.h"

namespace vx::sqlsim {

namespace {

// The declared parameters of "@a int, @b varchar(10) OUTPUT": names with their types.
std::vector<std::pair<std::string, std::string>> Declarations(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> out;
  std::vector<Token> tokens;
  try {
    tokens = Tokenize(text, true);
  } catch (const LexError&) {
    return {};
  }
  for (size_t i = 0; i < tokens.size() && tokens[i].kind != Tok::End;) {
    if (tokens[i].kind != Tok::Variable) return {};
    std::string name = tokens[i].text, type;
    int depth = 0;
    for (++i; i < tokens.size() && tokens[i].kind != Tok::End; ++i) {
      const Token& t = tokens[i];
      if (t.kind == Tok::Symbol && t.text == "(") ++depth;
      else if (t.kind == Tok::Symbol && t.text == ")") --depth;
      else if (depth == 0 && t.kind == Tok::Symbol && t.text == ",") break;
      if (depth == 0 && t.kind == Tok::Word && (t.value == "OUTPUT" || t.value == "OUT")) continue;
      type += t.text;
    }
    out.emplace_back(std::move(name), std::move(type));
    if (i < tokens.size() && tokens[i].kind == Tok::Symbol && tokens[i].text == ",") ++i;
  }
  return out;
}

}  // namespace

void Executor::ExecuteSql(bool exec) {
  // [@stmt =] N'...' [, [@params =] N'...' [, [@name =] value ...]]
  struct Argument {
    std::string name;
    sqlserver::Parameter value;
  };
  std::vector<Argument> args;
  const size_t end = StatementEnd(pos_);
  while (pos_ < end) {
    Argument a;
    if (Cur().kind == Tok::Variable && IsSymbol(pos_ + 1, "=")) {
      a.name = Cur().text;
      pos_ += 2;
    }
    const Token& t = Cur();
    const bool negative = IsSymbol(pos_, "-") && Tk(pos_ + 1).kind == Tok::Number;
    const Token& v = negative ? Tk(pos_ + 1) : t;
    if (v.kind == Tok::String) {
      const size_t units = std::max<size_t>(1, sqlserver::Utf8ToUtf16(v.value).size());
      a.value = {a.name, sqlserver::Value::Text(v.value),
                 v.national ? "nvarchar(" + std::to_string(std::min<size_t>(units, 4000)) + ")"
                            : "varchar(" + std::to_string(std::min<size_t>(units, 8000)) + ")",
                 ""};
    } else if (v.kind == Tok::Number && v.text.find_first_not_of("0123456789") == std::string::npos &&
               v.text.size() < 11 && std::stoll(v.text) <= 2147483648LL - (negative ? 0 : 1)) {
      a.value = {a.name, sqlserver::Value::Integer(negative ? -std::stoll(v.text) : std::stoll(v.text)), "int", ""};
    } else if (t.kind == Tok::Word && t.value == "NULL") {
      a.value = {a.name, sqlserver::Value::Null(), "int", ""};
    } else if (t.kind == Tok::Variable && ParameterIndex(t.value) >= 0) {
      a.value = (*s_.parameters_)[static_cast<size_t>(ParameterIndex(t.value))];
    } else if (t.kind == Tok::Variable) {
      throw SimError{137, 15, "Must declare the variable '" + t.text + "'.", t.line};
    } else if (t.kind == Tok::Number) {
      throw Unsupported("Passing " + v.text + " to sp_executesql in a batch");
    } else {
      SyntaxError(pos_);
    }
    pos_ += negative ? 2 : 1;
    if (CurIs("OUTPUT") || CurIs("OUT")) throw Unsupported("An OUTPUT parameter of sp_executesql in a batch");
    if (pos_ < end) {
      if (!IsSymbol(pos_, ",")) SyntaxError(pos_);
      ++pos_;
    }
    args.push_back(std::move(a));
  }
  if (!exec) return;
  auto text = [&](size_t i, const char* parameter) {
    const std::string type = i < args.size() ? Lower(args[i].value.sqlType) : std::string();
    if (i >= args.size() || args[i].value.value.IsNull() ||
        type.rfind("n", 0) != 0 || (type.find("char") == std::string::npos && type.find("text") == std::string::npos))
      throw SimError{214, 16, "Procedure expects parameter '" + std::string(parameter) +
                                  "' of type 'ntext/nchar/nvarchar'."};
    return args[i].value.value.AsText();
  };
  const std::string statement = text(0, "@statement");
  const auto declared = args.size() > 1 ? Declarations(text(1, "@params")) : decltype(Declarations("")){};
  if (args.size() > 1 && declared.empty() && text(1, "@params").find_first_not_of(" \t\r\n") != std::string::npos)
    throw Unsupported("This declaration of sp_executesql's parameters");
  std::vector<sqlserver::Parameter> values;
  for (size_t i = 2; i < args.size(); ++i) {
    const std::string& n = args[i].name;
    auto d = n.empty() ? (i - 2 < declared.size() ? declared.begin() + static_cast<std::ptrdiff_t>(i - 2) : declared.end())
                       : std::find_if(declared.begin(), declared.end(),
                                      [&](const auto& p) { return Upper(p.first) == Upper(n); });
    if (d == declared.end())
      throw n.empty() ? SimError{8144, 16, "Procedure or function sp_executesql has too many arguments specified."}
                      : SimError{8145, 16, n + " is not a parameter for procedure sp_executesql."};
    sqlserver::Parameter p = args[i].value;
    p.name = d->first;
    p.sentType = p.sqlType.empty() ? "?" : p.sqlType;
    p.sqlType = d->second;
    if (auto failed = ConvertParameter(s_.Db().Handle(), p)) throw SimError{failed->number, 16, failed->text};
    values.push_back(std::move(p));
  }
  if (s_.nestedStatements_ >= 32)
    throw SimError{217, 16, "Maximum stored procedure, function, trigger, or view nesting level exceeded (limit 32)."};
  std::vector<Token> tokens;
  try {
    tokens = Tokenize(statement, s_.quotedIdentifier_);
  } catch (const LexError& e) {
    throw SimError{e.number, 15, e.text, e.line};
  }
  // The statement runs with its own parameters; the batch's come back after it.
  struct Nested {
    SimSession& s;
    const std::vector<sqlserver::Parameter>* saved;
    ~Nested() {
      s.parameters_ = saved;
      --s.nestedStatements_;
    }
  } nested{s_, s_.parameters_};
  ++s_.nestedStatements_;
  s_.parameters_ = &values;
  Executor inner(s_, statement, std::move(tokens), out_);
  inner.Parse();
  inner.Run();
}

}  // namespace vx::sqlsim
