#include "TdsConnection.h"

#include "TdsBatchWatch.h"
#include "TdsLogin.h"
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

TdsConnection::TdsConnection(int fd, sqlserver::SessionFactory& factory, std::string serverName)
    : socket_(fd), factory_(factory), serverName_(std::move(serverName)) {}

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
      case kAttention: {
        TdsWriter w;
        w.Done(kDoneAttention);
        ok = socket_.Write(kReply, w.Data());
        break;
      }
      default: {
        if (!session_) return;
        TdsWriter w;
        w.Message(Msg(16, 16, "This endpoint runs SQL batches only."), serverName_);
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
  const std::string size = std::to_string(login.packetSize >= 512 && login.packetSize <= 32767 ? login.packetSize
                                                                                               : 4096);
  TdsWriter w;
  w.EnvChange(1, database, "master");
  w.Message(Msg(5701, 10, "Changed database context to '" + database + "'.", 2), serverName_);
  w.EnvChange(2, "us_english", "");
  w.Message(Msg(5703, 10, "Changed language setting to us_english."), serverName_);
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
  sqlserver::BatchResult result;
  TdsBatchWatch watch(socket_, *session_);
  try {
    result = session_->Execute(batch);
  } catch (const ComError& e) {
    if (e.Number() == err::kServerConnection || !session_->IsAlive()) return false;  // the socket closes
    result.messages.push_back(Msg(50000, 16, e.Description()));
  }
  watch.Stop();
  if (watch.Dropped()) return false;  // the session closes at once: its transaction is rolled back
  TdsWriter w;
  if (watch.Attention() || socket_.TakeWaitingAttention()) {
    // The client gave up waiting: the batch was stopped (the simulator rolls it back)
    // or had ended; its results are dropped.
    w.Done(kDoneAttention);
    return socket_.Write(kReply, w.Data());
  }
  FollowSessionState(*session_, batch, state_, w, serverName_);
  for (const auto& rs : result.resultSets) w.ResultSet(rs, !state_.noCount);
  for (const auto& m : result.messages) w.Message(m, serverName_);
  w.Done(result.FirstError() ? kDoneError : kDoneFinal);
  return socket_.Write(kReply, w.Data());
}

}  // namespace vx::tds
