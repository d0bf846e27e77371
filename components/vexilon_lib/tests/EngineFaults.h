#pragma once
// Fault injection for the engine tests: a session factory over the simulated
// servers whose sessions fail, lose their connection or end the process at a
// chosen batch, before or after the server ran it.
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <string>

#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"
#include "sqlserver/Session.h"
#include "sqlserver_sim/SimServer.h"

namespace engine_test {

struct BatchFault {
  // RunThenDropReply: the server runs the batch, then the connection drops.
  // RunThenTimeout: the server runs the batch, the reply never comes, the
  // session stays open. Hook: the batch runs after `then` was called.
  enum class Action {
    None, ServerError, LoseConnection, CrashBefore, CrashAfter, StripEncryption, RunThenDropReply, RunThenTimeout,
    Hook
  };
  Action action = Action::None;
  std::string match;    // the fault hits the first batch holding this text...
  int occurrence = 1;   // ...or the n-th such batch
  int seen = 0;
  bool fired = false;
  std::function<void()> then;    // called after a RunThen... batch ran, or before a Hook batch
  bool refuseAfterFire = false;  // once fired, no new session opens (the server is out of reach)
};

// The error of a call whose reply never came.
inline constexpr int32_t kTimeoutExpired = static_cast<int32_t>(0x80040E31u);

class FaultySession : public vx::sqlserver::Session {
 public:
  FaultySession(std::unique_ptr<vx::sqlserver::Session> inner, std::shared_ptr<BatchFault> fault)
      : inner_(std::move(inner)), fault_(std::move(fault)) {}

  vx::sqlserver::BatchResult Execute(std::string_view batch) override {
    BatchFault& f = *fault_;
    const bool hit = f.action != BatchFault::Action::None && !f.fired &&
                     batch.find(f.match) != std::string_view::npos && ++f.seen == f.occurrence;
    if (!hit) return inner_->Execute(batch);
    f.fired = true;
    switch (f.action) {
      case BatchFault::Action::ServerError: {
        vx::sqlserver::BatchResult r;
        r.messages.push_back({156, 15, 1, 1, "Incorrect syntax near the keyword 'WITH'."});
        return r;
      }
      case BatchFault::Action::LoseConnection:
        inner_->Close();
        throw vx::ComError(vx::err::kServerConnection, "Session", "The connection to the server was lost.");
      case BatchFault::Action::CrashBefore:
        _exit(0);
      case BatchFault::Action::CrashAfter:
        inner_->Execute(batch);
        _exit(0);
      case BatchFault::Action::StripEncryption: {
        // The script runs, but without its option: the object stays readable.
        std::string plain(batch);
        for (size_t at; (at = plain.find("WITH ENCRYPTION")) != std::string::npos;) plain.erase(at, 15);
        return inner_->Execute(plain);
      }
      case BatchFault::Action::RunThenDropReply:
        inner_->Execute(batch);
        if (f.then) f.then();
        inner_->Close();
        throw vx::ComError(vx::err::kServerConnection, "Session", "The connection to the server was lost.");
      case BatchFault::Action::RunThenTimeout:
        inner_->Execute(batch);
        if (f.then) f.then();
        throw vx::ComError(kTimeoutExpired, "Session", "Query timeout expired");
      case BatchFault::Action::Hook:
        if (f.then) f.then();
        break;
      case BatchFault::Action::None:
        break;
    }
    return inner_->Execute(batch);
  }
  bool IsAlive() const override { return inner_->IsAlive(); }
  const std::string& ServerName() const override { return inner_->ServerName(); }
  void Close() override { inner_->Close(); }

 private:
  std::unique_ptr<vx::sqlserver::Session> inner_;
  std::shared_ptr<BatchFault> fault_;
};

class FaultyFactory : public vx::sqlserver::SessionFactory {
 public:
  explicit FaultyFactory(std::shared_ptr<BatchFault> fault) : fault_(std::move(fault)) {}
  bool HasServer(const std::string& name) const override { return inner_.HasServer(name); }
  std::unique_ptr<vx::sqlserver::Session> Open(const std::string& name, const vx::sqlserver::Credentials& c,
                                               const std::string& database) override {
    if (fault_->fired && fault_->refuseAfterFire)
      throw vx::ComError(vx::err::ServerMessage(17), "Session", "SQL Server does not exist or access denied.");
    return std::make_unique<FaultySession>(inner_.Open(name, c, database), fault_);
  }
  std::vector<std::string> ServerNames() const override { return inner_.ServerNames(); }

 private:
  vx::sqlsim::SimSessionFactory inner_;
  std::shared_ptr<BatchFault> fault_;
};

// Runs f in a child process and waits for it; the child ends wherever f makes
// it end (a crash point of a BatchFault), or after f.
inline void RunInChild(const std::function<void()>& f) {
  const pid_t child = fork();
  if (child == 0) {
    try {
      f();
    } catch (...) {
    }
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
}

}  // namespace engine_test
