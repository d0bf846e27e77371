#include "TdsConnection.h"

#include "TdsBatchWatch.h"
#include "TdsLogin.h"
#include "TdsReply.h"
#include "TdsSessionState.h"
#include "TdsWriter.h"
#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"
#include "sqlserver/Utf16.h"

namespace vx::tds {

namespace {
constexpr uint32_t kTds71 = 0x71000001;
// Clients take the server's version from the login acknowledgement, read from the session.
constexpr const char* kPreloginVersion = "8.00.2039";
// Before login a client sends PRELOGIN and LOGIN7 only: a LOGIN7 record with
// every field at its longest (and a security token) fits in this.
constexpr size_t kMaxLoginMessage = 128 * 1024;

sqlserver::ServerMessage Msg(int32_t number, int severity, std::string text, int state = 1) {
  sqlserver::ServerMessage m;
  m.number = number;
  m.severity = severity;
  m.state = state;
  m.text = std::move(text);
  return m;
}

std::string FirstCell(const sqlserver::BatchResult& r, size_t column) {
  if (r.resultSets.empty() || r.resultSets[0].rows.empty() || r.resultSets[0].rows[0].size() <= column) return {};
  const auto& v = r.resultSets[0].rows[0][column];
  return v.IsNull() ? std::string() : v.AsText();
}
}  // namespace

TdsConnection::TdsConnection(int fd, sqlserver::SessionFactory& factory, std::string serverName,
                             std::chrono::milliseconds loginTimeout)
    : socket_(fd), factory_(factory), serverName_(std::move(serverName)) {
  socket_.LimitBeforeLogin(kMaxLoginMessage, std::chrono::steady_clock::now() + loginTimeout);
}

void TdsConnection::Run() {
  uint8_t type = 0;
  std::string payload;
  while (socket_.Read(type, payload)) {
    bool ok = true;
    switch (type) {
      case kPrelogin:
        if (session_) return;
        ok = socket_.Write(kReply, PreloginReply(kPreloginVersion));
        break;
      case kLogin7:
        if (session_) return;
        ok = Login(payload);
        break;
      case kSqlBatch:
        if (!session_) return;
        ok = Batch(payload);
        break;
      case kRpc:
        if (!session_) return;
        ok = Rpc(payload);
        break;
      case kAttention: {
        TdsWriter w;
        w.Done(kDoneAttention);
        ok = socket_.Write(kReply, w.Data());
        break;
      }
      default: {
        if (!session_) return;
        TdsWriter w;
        w.Message(Msg(16, 16, "This endpoint answers SQL batches, procedure calls and attentions only."),
                  serverName_);
        w.Done(kDoneError);
        ok = socket_.Write(kReply, w.Data());
      }
    }
    if (!ok) break;
  }
  if (session_) session_->Close();
}

bool TdsConnection::RefuseLogin(const std::vector<sqlserver::ServerMessage>& messages) {
  TdsWriter w;
  for (const auto& m : messages) w.Message(m, serverName_);
  w.Done(kDoneError);
  socket_.Write(kReply, w.Data());
  return false;
}

bool TdsConnection::Login(const std::string& payload) {
  LoginRequest login;
  if (!ParseLogin7(payload, login)) return false;
  if (login.integratedSecurity)
    return RefuseLogin({Msg(18452, 14,
                            "Login failed for user '(null)'. Reason: Not associated with a trusted SQL Server "
                            "connection.")});
  sqlserver::Credentials credentials;
  credentials.login = login.userName;
  credentials.password = login.password;
  const auto refused = Msg(18456, 14, "Login failed for user '" + login.userName + "'.");
  try {
    session_ = factory_.Open(serverName_, credentials, login.database);
  } catch (const ComError& e) {
    if (e.Number() == err::ServerMessage(4060))
      return RefuseLogin({Msg(4060, 11, "Cannot open database requested in login '" + login.database +
                                            "'. Login fails."),
                          refused});
    return RefuseLogin({refused});
  }
  std::string database, version;
  try {
    auto r = session_->Execute("SELECT DB_NAME(), SERVERPROPERTY('ProductVersion')");
    database = FirstCell(r, 0);
    version = FirstCell(r, 1);
  } catch (const ComError&) {
    return false;
  }
  if (version.empty()) version = "8.00.2039";
  state_.database = database;
  socket_.SetPacketSize(login.packetSize);
  socket_.LoggedIn();
  const std::string size = std::to_string(login.packetSize >= 512 && login.packetSize <= 32767 ? login.packetSize
                                                                                               : 4096);
  TdsWriter w;
  w.EnvChange(1, database, "master");
  w.Message(Msg(5701, 0, "Changed database context to '" + database + "'.", 2), serverName_);
  w.EnvChange(2, "us_english", "");
  w.Message(Msg(5703, 0, "Changed language setting to us_english."), serverName_);
  w.LoginAck(kTds71, version);
  w.EnvChange(4, size, "4096");
  w.Done(kDoneFinal);
  return socket_.Write(kReply, w.Data());
}

bool TdsConnection::Batch(const std::string& payload) {
  std::u16string text(payload.size() / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char16_t>(static_cast<unsigned char>(payload[2 * i]) |
                                    (static_cast<unsigned char>(payload[2 * i + 1]) << 8));
  const std::string batch = sqlserver::Utf16ToUtf8(text);
  TdsReply reply(socket_, serverName_, *session_, state_);
  bool attention = false;
  {
    // The watch is the socket's only reader while the batch runs; rows go out meanwhile.
    TdsBatchWatch watch(watcher_, *session_);
    reply.Watch(&watch);
    try {
      session_->Run(batch, {}, reply);
    } catch (const ClientGone&) {
      return false;
    } catch (const RequestStopped&) {
      // the client's attention or its going away, below
    } catch (const ComError& e) {
      if (e.Number() == err::kServerConnection || !session_->IsAlive()) return false;  // the socket closes
      reply.Message(Msg(50000, 16, e.Description()));
    }
    watch.Stop();
    reply.Watch(nullptr);
    if (watch.Dropped()) return false;  // the session closes at once: its transaction is rolled back
    attention = watch.Attention();
  }
  return EndReply(reply, batch, reply.AnyError() ? kDoneError : kDoneFinal, attention);
}

bool TdsConnection::Rpc(const std::string& payload) {
  std::vector<RpcCall> calls;
  std::string error;
  TdsReply reply(socket_, serverName_, *session_, state_);
  if (!ParseRpc(payload, calls, error)) {
    reply.Message(Msg(8009, 16, error));
    return EndReply(reply, {}, kDoneError, false);
  }
  reply.Writer().SetInProcedure(true);
  bool attention = false;
  {
    TdsBatchWatch watch(watcher_, *session_);
    reply.Watch(&watch);
    try {
      for (size_t i = 0; i < calls.size() && !watch.Attention() && !watch.Dropped(); ++i)
        rpc_.Call(*session_, calls[i], reply, i + 1 < calls.size());
    } catch (const ClientGone&) {
      return false;
    } catch (const RequestStopped&) {
    } catch (const ComError& e) {
      if (e.Number() == err::kServerConnection || !session_->IsAlive()) return false;
      reply.Message(Msg(50000, 16, e.Description()));
      reply.Writer().DoneProc(kDoneError);
    }
    watch.Stop();
    reply.Watch(nullptr);
    if (watch.Dropped()) return false;
    attention = watch.Attention();
  }
  if (reply.Gone()) return false;
  if (attention || socket_.TakeWaitingAttention()) return EndStopped(reply);
  return reply.Finish();
}

// The last DONE of a reply, after the session's state the batch left; after an
// attention, EndStopped instead.
bool TdsConnection::EndReply(TdsReply& reply, const std::string& batch, uint16_t doneStatus, bool attention) {
  if (reply.Gone()) return false;
  if (attention || socket_.TakeWaitingAttention()) return EndStopped(reply);
  reply.FollowState(&batch);
  reply.Writer().Done(doneStatus);
  return reply.Finish();
}

// A request the client sent an attention for: it was stopped (the simulator rolls
// it back) or had ended, and what has not gone out is dropped. The request's
// reply ends where it stands, as a failed one, even when nothing of it has gone
// out yet (then it is that DONE alone); the attention's acknowledgement follows
// in a message of its own. Clients take the first message after their request
// as its reply, whenever they cancelled it, and wait for the acknowledgement
// after it.
bool TdsConnection::EndStopped(TdsReply& reply) {
  reply.DropUnsent();
  reply.Writer().Done(kDoneError);
  if (!reply.Finish()) return false;
  TdsWriter w;
  w.Done(kDoneAttention);
  return socket_.Write(kReply, w.Data());
}

}  // namespace vx::tds
