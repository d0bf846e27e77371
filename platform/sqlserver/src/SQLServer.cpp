#include "sqlserver/SQLServer.h"

#include <cstdlib>

#include "ServerLink.h"
#include "automation/ComError.h"
#include "sqlserver/BatchSplitter.h"
#include "sqlserver/Databases.h"
#include "sqlserver/ServerErrors.h"

namespace vx::sqlserver {

namespace {
constexpr const char* kSource = "SQLServer";

[[noreturn]] void NotConnected() {
  throw ComError(err::kServerConnection, kSource, "[SQL-DMO]This object is not connected to a server.");
}
}  // namespace

SQLServer::SQLServer(std::shared_ptr<SessionFactory> factory)
    : factory_(factory ? std::move(factory) : DefaultSessionFactory()) {}

SQLServer::~SQLServer() { DisConnect(); }

void SQLServer::Connect(const std::string& serverName, const std::optional<std::string>& login,
                        const std::optional<std::string>& password) {
  if (link_) throw ComError(err::kServerConnection, kSource, "[SQL-DMO]This object is already connected.");
  auto link = std::make_shared<detail::ServerLink>();
  link->factory = factory_;
  link->serverName = serverName;
  link->credentials.trusted = loginSecure_;
  if (!loginSecure_) {
    link->credentials.login = login.value_or("");
    link->credentials.password = password.value_or("");
  }
  link->main = factory_->Open(serverName, link->credentials, "");
  // The driver's report of the version comes first: a server older than SQL
  // Server 2000 knows no SERVERPROPERTY and must still tell its version.
  std::string version = link->main->ServerVersion();
  auto info = link->Query("", version.empty()
                                  ? "SELECT SUSER_SNAME() AS login, SERVERPROPERTY('ProductVersion') AS version"
                                  : "SELECT SUSER_SNAME() AS login");
  if (info.rows.empty()) NotConnected();
  link->login = info.rows[0][0].IsNull() ? link->credentials.login : info.rows[0][0].AsText();
  if (version.empty()) version = info.rows[0][1].IsNull() ? "8.00" : info.rows[0][1].AsText();
  link->versionMajor = std::atoi(version.c_str());
  size_t dot = version.find('.');
  link->versionMinor = dot == std::string::npos ? 0 : std::atoi(version.c_str() + dot + 1);
  link->established = true;
  link_ = std::move(link);
  name_ = serverName;
  password_ = loginSecure_ ? std::string() : password.value_or("");
  databases_ = std::make_unique<Databases>(link_);
}

void SQLServer::DisConnect() {
  if (!link_) return;
  link_->Close();
  link_.reset();
  databases_.reset();
}

void SQLServer::Close() { DisConnect(); }

bool SQLServer::IsConnected() const { return link_ != nullptr; }

std::shared_ptr<detail::ServerLink> SQLServer::Link() const {
  if (!link_) NotConnected();
  return link_;
}

std::string SQLServer::Login() const { return Link()->login; }

int32_t SQLServer::VersionMajor() const { return Link()->versionMajor; }

int32_t SQLServer::VersionMinor() const { return Link()->versionMinor; }

int32_t SQLServer::Status() const { return link_ && link_->Alive() ? 1 : 0; }

Databases& SQLServer::GetDatabases() {
  Link();
  return *databases_;
}

void SQLServer::ExecuteImmediate(const std::string& command, int32_t execType, std::optional<int32_t> length) {
  auto link = Link();
  std::string_view text(command);
  if (length && *length >= 0) {
    // length counts characters: cut at the length-th character of the UTF-8 text
    size_t bytes = 0;
    int32_t chars = 0;
    while (bytes < text.size() && chars < *length) {
      unsigned char c = static_cast<unsigned char>(text[bytes]);
      bytes += c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
      ++chars;
    }
    text = text.substr(0, std::min(bytes, text.size()));
  }
  std::optional<ComError> first;
  for (const auto& batch : SplitBatches(text)) {
    auto result = link->RunMain(batch);
    try {
      RaiseFirstError(result, kSource);
    } catch (const ComError& e) {
      if (execType != 2) throw;
      if (!first) first = e;
    }
  }
  if (first) throw *first;
}

void SQLServer::BeginTransaction(const std::string& name) {
  auto r = Link()->RunMain("BEGIN TRANSACTION " + (name.empty() ? std::string() : detail::Bracket(name)));
  RaiseFirstError(r, kSource);
}

void SQLServer::CommitTransaction(const std::string& name) {
  auto r = Link()->RunMain("COMMIT TRANSACTION " + (name.empty() ? std::string() : detail::Bracket(name)));
  RaiseFirstError(r, kSource);
}

void SQLServer::RollbackTransaction(const std::string& name) {
  auto r = Link()->RunMain("ROLLBACK TRANSACTION " + (name.empty() ? std::string() : detail::Bracket(name)));
  RaiseFirstError(r, kSource);
}

}  // namespace vx::sqlserver
