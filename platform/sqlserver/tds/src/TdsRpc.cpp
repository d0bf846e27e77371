#include "TdsRpc.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>

namespace vx::tds {

namespace {

enum ProcId : uint16_t { kExecuteSql = 10, kPrepare = 11, kExecute = 12, kPrepExec = 13, kUnprepare = 15 };
// What the simulated server refuses to do: a call of a procedure whose body it
// keeps without running it, one prepared statement too many.
constexpr int32_t kRefused = 50000;
// Prepared statements a connection keeps at most.
constexpr size_t kMaxPrepared = 65536;

sqlserver::ServerMessage Error(int32_t number, std::string text) {
  sqlserver::ServerMessage m;
  m.number = number;
  m.severity = 16;
  m.text = std::move(text);
  return m;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The parts of a procedure's name ("[db].dbo.name"), unquoted; empty when it is not a name.
std::vector<std::string> NameParts(const std::string& name) {
  std::vector<std::string> parts;
  size_t i = 0;
  for (;;) {
    std::string part;
    if (i < name.size() && (name[i] == '[' || name[i] == '"')) {
      const char close = name[i] == '[' ? ']' : '"';
      for (++i;; ++i) {
        if (i >= name.size()) return {};
        if (name[i] == close) {
          if (i + 1 < name.size() && name[i + 1] == close) {
            part += close;
            ++i;
            continue;
          }
          ++i;
          break;
        }
        part += name[i];
      }
    } else {
      while (i < name.size() && name[i] != '.') part += name[i++];
      while (!part.empty() && part.back() == ' ') part.pop_back();
    }
    parts.push_back(part);
    if (i >= name.size()) break;
    if (name[i] != '.') return {};
    ++i;
  }
  if (parts.size() > 4 || parts.back().empty()) return {};
  return parts;
}

// The well-known procedure a name calls, as its id, or 0.
uint16_t WellKnown(const std::vector<std::string>& parts) {
  if (parts.empty() || parts.size() > 3) return 0;
  const std::string n = Lower(parts.back());
  if (n == "sp_executesql") return kExecuteSql;
  if (n == "sp_prepare") return kPrepare;
  if (n == "sp_execute") return kExecute;
  if (n == "sp_prepexec") return kPrepExec;
  if (n == "sp_unprepare") return kUnprepare;
  return 0;
}

std::string ProcName(uint16_t id) {
  static const char* names[] = {"",           "sp_cursor",         "sp_cursoropen",  "sp_cursorprepare",
                                "sp_cursorexecute", "sp_cursorprepexec", "sp_cursorunprepare", "sp_cursorfetch",
                                "sp_cursoroption",  "sp_cursorclose",    "sp_executesql",  "sp_prepare",
                                "sp_execute",       "sp_prepexec",       "sp_prepexecrpc", "sp_unprepare"};
  return id < 16 ? names[id] : "procedure " + std::to_string(id);
}

// The parameters a declaration ("@a int, @b nvarchar(10) OUTPUT") declares, in
// order: each name with its type as written.
std::vector<std::pair<std::string, std::string>> Declared(const std::string& declaration) {
  std::vector<std::pair<std::string, std::string>> declared;
  size_t i = 0;
  const size_t n = declaration.size();
  while (i < n) {
    while (i < n && (std::isspace(static_cast<unsigned char>(declaration[i])) || declaration[i] == ',')) ++i;
    if (i >= n || declaration[i] != '@') break;
    size_t k = i + 1;
    while (k < n && !std::isspace(static_cast<unsigned char>(declaration[k])) && declaration[k] != ',') ++k;
    std::string name = declaration.substr(i, k - i), type;
    int depth = 0;
    for (; k < n && (depth > 0 || declaration[k] != ','); ++k) {
      if (declaration[k] == '(') ++depth;
      else if (declaration[k] == ')') --depth;
      type += declaration[k];
    }
    // the type without OUTPUT (OUT) and the blanks around it
    auto trim = [](std::string& t) {
      while (!t.empty() && std::isspace(static_cast<unsigned char>(t.back()))) t.pop_back();
      size_t lead = 0;
      while (lead < t.size() && std::isspace(static_cast<unsigned char>(t[lead]))) ++lead;
      t.erase(0, lead);
    };
    trim(type);
    for (const char* word : {"output", "out"}) {
      const size_t w = std::strlen(word);
      if (type.size() > w && Lower(type.substr(type.size() - w)) == word &&
          std::isspace(static_cast<unsigned char>(type[type.size() - w - 1]))) {
        type.resize(type.size() - w);
        trim(type);
        break;
      }
    }
    declared.emplace_back(std::move(name), std::move(type));
    i = k;
  }
  return declared;
}

bool IsText(const RpcParameter& p) {
  const auto t = p.typeInfo.empty() ? 0 : static_cast<uint8_t>(p.typeInfo[0]);
  return t == 0xE7 || t == 0xEF || t == 0x63 || t == 0xA7 || t == 0xAF || t == 0x23;
}

std::string IntData(int32_t v) {
  std::string s(1, '\x04');
  for (int i = 0; i < 4; ++i) s += static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF);
  return s;
}

int32_t IntValue(const RpcParameter& p, bool& ok) {
  ok = !p.value.IsNull() && p.value.GetKind() == sqlserver::Value::Kind::Integer && p.value.AsInt64() >= INT32_MIN &&
       p.value.AsInt64() <= INT32_MAX;
  return ok ? static_cast<int32_t>(p.value.AsInt64()) : 0;
}

}  // namespace

void TdsRpc::Call(sqlserver::Session& session, const RpcCall& call, TdsReply& reply, bool more) {
  const int errorsBefore = reply.Errors();
  const auto& in = call.parameters;
  std::vector<std::string> parts;
  uint16_t id = call.procId;
  if (!call.name.empty()) {
    parts = NameParts(call.name);
    id = WellKnown(parts);
  }
  const std::string name = call.name.empty() ? ProcName(id) : call.name;
  bool ran = true;           // a return status is sent for a procedure that ran
  std::string ranText;       // what the session was given to run
  int32_t handleOut = -1;    // the handle sp_prepare / sp_prepexec gives back
  auto run = [&](const std::string& statement, const std::vector<std::pair<std::string, std::string>>& declared,
                 size_t firstValue) {
    std::vector<sqlserver::Parameter> values;
    for (size_t i = firstValue; i < in.size(); ++i) {
      const size_t k = i - firstValue;
      std::string n = in[i].name.empty() ? (k < declared.size() ? declared[k].first : std::string()) : in[i].name;
      if (n.empty()) {
        reply.Message(Error(8144, "Procedure or function " + name + " has too many arguments specified."));
        ran = false;
        return;
      }
      const auto d = std::find_if(declared.begin(), declared.end(),
                                  [&](const auto& p) { return Lower(p.first) == Lower(n); });
      if (!in[i].name.empty() && d == declared.end()) {
        reply.Message(Error(8145, n + " is not a parameter for procedure " + name + "."));
        ran = false;
        return;
      }
      // The session converts a value sent as another type to the one the statement declares.
      if (d != declared.end() && !d->second.empty() && Lower(d->second) != in[i].sqlType)
        values.push_back({std::move(n), in[i].value, d->second, in[i].sqlType.empty() ? "?" : in[i].sqlType});
      else
        values.push_back({std::move(n), in[i].value, in[i].sqlType, ""});
    }
    ranText = statement;
    session.Run(statement, values, reply);
  };
  auto expectText = [&](size_t i, const char* parameter, const char* type) {
    if (i < in.size() && IsText(in[i]) && !in[i].value.IsNull()) return true;
    reply.Message(Error(214, "Procedure expects parameter '" + std::string(parameter) + "' of type '" + type + "'."));
    ran = false;
    return false;
  };
  auto findHandle = [&](size_t i) -> const Prepared* {
    bool ok = false;
    const int32_t h = i < in.size() ? IntValue(in[i], ok) : 0;
    auto it = prepared_.find(h);
    if (ok && it != prepared_.end()) return &it->second;
    reply.Message(Error(8179, "Could not find prepared statement with handle " + std::to_string(h) + "."));
    ran = false;
    return nullptr;
  };

  const auto refused = std::find_if(in.begin(), in.end(), [](const RpcParameter& p) { return !p.refusedType.empty(); });
  if (refused != in.end()) {
    reply.Message(Error(kRefused, "Passing a parameter of type " + refused->refusedType +
                                      " is not supported by the simulated server."));
    ran = false;
  } else switch (id) {
    case kExecuteSql:
      if (!expectText(0, "@statement", "ntext/nchar/nvarchar")) break;
      if (in.size() > 1 && !IsText(in[1])) {
        expectText(1, "@params", "ntext/nchar/nvarchar");
        break;
      }
      run(in[0].value.AsText(),
          in.size() > 1 && !in[1].value.IsNull() ? Declared(in[1].value.AsText())
                                                 : std::vector<std::pair<std::string, std::string>>{},
          2);
      break;
    case kPrepare:
    case kPrepExec: {
      if (in.empty() || !in[0].output) {
        reply.Message(Error(214, "Procedure expects parameter '@handle' of type 'int' as an OUTPUT parameter."));
        ran = false;
        break;
      }
      if (in.size() > 1 && !in[1].value.IsNull() && !IsText(in[1])) {
        expectText(1, "@params", "ntext/nchar/nvarchar");
        break;
      }
      if (!expectText(2, "@stmt", "ntext/nchar/nvarchar")) break;
      Prepared p{in[2].value.AsText(), in[1].value.IsNull() ? std::vector<std::pair<std::string, std::string>>{}
                                                            : Declared(in[1].value.AsText())};
      if (prepared_.size() >= kMaxPrepared) {
        reply.Message(Error(kRefused, "The connection holds " + std::to_string(kMaxPrepared) +
                                         " prepared statements, as many as the simulated server keeps: unprepare "
                                         "one before preparing another."));
        ran = false;
        break;
      }
      handleOut = NextHandle();
      prepared_[handleOut] = p;
      if (id == kPrepExec) run(p.statement, p.declared, 3);
      break;
    }
    case kExecute:
      if (const Prepared* p = findHandle(0)) {
        const Prepared copy = *p;
        run(copy.statement, copy.declared, 1);
      }
      break;
    case kUnprepare:
      if (findHandle(0)) {
        bool ok = false;
        prepared_.erase(IntValue(in[0], ok));
      }
      break;
    default:
      if (id != 0 || parts.empty()) {
        reply.Message(Error(2812, "Could not find stored procedure '" + name + "'."));
        ran = false;
        break;
      }
      {
        // EXEC [db].[owner].[name] @a = @vx_1, DEFAULT, ...: the values stay parameters.
        std::string batch = "EXEC ";
        for (size_t i = 0; i < parts.size(); ++i) {
          if (i) batch += '.';
          if (parts[i].empty()) continue;  // db..name
          batch += '[';
          for (char c : parts[i]) batch += c == ']' ? std::string("]]") : std::string(1, c);
          batch += ']';
        }
        std::vector<sqlserver::Parameter> values;
        for (size_t i = 0; i < in.size(); ++i) {
          batch += i ? ", " : " ";
          if (!in[i].name.empty()) batch += in[i].name + " = ";
          if (in[i].byDefault) {
            batch += "DEFAULT";
            continue;
          }
          values.push_back({"@vx_" + std::to_string(i + 1), in[i].value, in[i].sqlType, ""});
          batch += values.back().name;
        }
        const int before = reply.Errors();
        ranText = batch;
        session.Run(batch, values, reply);
        // A procedure that does not exist, whose arguments do not fit it, or that
        // the simulator does not run, never ran: no return status.
        const int32_t last = reply.LastError();
        if (reply.Errors() > before && (last == 2812 || last == 8144 || last == 8145 || last == kRefused))
          ran = false;
      }
  }
  reply.FollowState(&ranText);
  const bool failed = reply.Errors() > errorsBefore;
  auto& w = reply.Writer();
  if (ran || handleOut >= 0) w.ReturnStatus(failed ? 1 : 0);
  if (ran || handleOut >= 0) {
    for (size_t i = 0; i < in.size(); ++i) {
      if (!in[i].output) continue;
      if (i == 0 && handleOut >= 0)
        w.ReturnValue(static_cast<uint16_t>(i), in[i].name, std::string("\x26\x04", 2), IntData(handleOut));
      else
        w.ReturnValue(static_cast<uint16_t>(i), in[i].name, in[i].typeInfo, in[i].data);
    }
  }
  w.DoneProc(static_cast<uint16_t>((more ? kDoneMore : 0) | (failed ? kDoneError : 0)));
}

int32_t TdsRpc::NextHandle() {
  // Handles run from 1 up, then from 1 again, past those still in use.
  for (;;) {
    const int32_t h = next_;
    next_ = next_ == INT32_MAX ? 1 : next_ + 1;
    if (!prepared_.count(h)) return h;
  }
}

}  // namespace vx::tds
