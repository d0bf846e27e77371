#include "sqlserver/CatalogConnection.h"

#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"
#include "ServerLink.h"
#include "sqlserver/SQLServer.h"

namespace vx::sqlserver {

CatalogConnection::CatalogConnection(std::shared_ptr<SessionFactory> factory)
    : factory_(factory ? std::move(factory) : DefaultSessionFactory()) {}

CatalogConnection::~CatalogConnection() { Close(); }

void CatalogConnection::Open(const std::string& connectionString, const std::string& userId,
                             const std::string& password, int32_t) {
  Close();
  ConnectionString cs = ConnectionString::Parse(connectionString);
  if (!userId.empty()) {
    cs.userId = userId;
    cs.integratedSecurity = false;
  }
  if (!password.empty()) cs.password = password;
  session_ = factory_->Open(cs.dataSource, cs.GetCredentials(), cs.initialCatalog);
}

void CatalogConnection::Open(const SQLServer& server, const std::string& database) {
  Close();
  link_ = server.Link();
  database_ = database;
  attached_ = true;
}

bool CatalogConnection::IsOpen() const { return session_ != nullptr || attached_; }

Recordset CatalogConnection::Execute(const std::string& queryText) {
  if (attached_) return Recordset(detail::Lock(link_)->Query(database_, queryText));
  if (!session_)
    throw ComError(err::kRecordsetClosed, "ADODB.Connection", "Operation is not allowed when the object is closed.");
  auto result = session_->Execute(queryText);
  RaiseFirstError(result, "Microsoft OLE DB Provider for SQL Server");
  if (result.resultSets.empty()) return Recordset(ResultSet{});
  return Recordset(std::move(result.resultSets.front()));
}

void CatalogConnection::Close() {
  attached_ = false;
  link_.reset();
  if (session_) {
    session_->Close();
    session_.reset();
  }
}

}  // namespace vx::sqlserver
