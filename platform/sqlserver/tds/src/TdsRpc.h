#pragma once
// Procedure calls (RPC requests): sp_executesql with typed parameters,
// sp_prepare / sp_execute / sp_prepexec / sp_unprepare, and a call of any
// procedure by name, by name or by the ids TDS 7.1 clients send for the
// well-known ones. Parameter values reach the session as bound values
// (Session::Run), never as text of the batch.
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "TdsReply.h"
#include "sqlserver/Session.h"

namespace vx::tds {

struct RpcParameter {
  std::string name;         // "@id", or "" when given by position
  bool output = false;      // passed by reference: its value comes back
  bool byDefault = false;   // the procedure's default is asked for
  std::string typeInfo;     // TYPE_INFO as sent, its type byte first
  std::string data;         // the value as sent, its length first
  sqlserver::Value value;
  std::string sqlType;      // the server's name of its type ("datetime"), "" for one the session takes as it is
  std::string refusedType;  // the type of a value the simulated server does not keep ("money"), else ""
};

struct RpcCall {
  std::string name;      // empty when called by id
  uint16_t procId = 0;   // 10 sp_executesql, 11 sp_prepare, 12 sp_execute, 13 sp_prepexec, 15 sp_unprepare...
  std::vector<RpcParameter> parameters;
};

// Reads the calls of an RPC request; false, with the reason, when it is malformed.
bool ParseRpc(const std::string& payload, std::vector<RpcCall>& calls, std::string& error);

// Runs the calls of one connection and keeps its prepared statements.
class TdsRpc {
 public:
  // Runs one call: its results and messages, then RETURNSTATUS, the output
  // parameters (RETURNVALUE) and DONEPROC (`more` when another call follows).
  void Call(sqlserver::Session& session, const RpcCall& call, TdsReply& reply, bool more);

 private:
  struct Prepared {
    std::string statement;
    std::vector<std::pair<std::string, std::string>> declared;  // the parameters' names and types, in order
  };
  // An unused handle; there is one while fewer than INT32_MAX are in use.
  int32_t NextHandle();
  std::map<int32_t, Prepared> prepared_;
  int32_t next_ = 1;
};

}  // namespace vx::tds
