// Engine state, property accessors and the helpers the members share.
#include "vexilon_lib/CVexilon.h"

#include "archive/Connection.h"
#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"
#include "sqlserver/CatalogConnection.h"
#include "sqlserver/Database.h"
#include "sqlserver/Databases.h"
#include "sqlserver/SQLServer.h"
#include "sqlserver_connect/RoutingSessionFactory.h"

CVexilon::CVexilon() : sessionFactory_(vx::sqlserver::MakeDefaultSessionFactory()) {
  // The server list and server objects made without a factory see the same servers.
  if (!vx::sqlserver::HasDefaultSessionFactory()) vx::sqlserver::SetDefaultSessionFactory(sessionFactory_);
}
CVexilon::~CVexilon() = default;

void CVexilon::SetSQLServerConnectionString(const std::string& value) { sqlServerConnectionString_ = value; }
std::string CVexilon::GetSQLServerConnectionString() const { return sqlServerConnectionString_; }
void CVexilon::SetAppConnectionString(const std::string& value) { appConnectionString_ = value; }
CVexilon::ServerObject CVexilon::GetSQLServer() const { return sqlServer_; }
void CVexilon::SetSQLServer(const ServerObject& server) { sqlServer_ = server; }
vx::VbBool CVexilon::GetErrorsExist() const { return errorsExist_; }
void CVexilon::SetErrorsExist(vx::VbBool value) { errorsExist_ = value; }

vx::sqlserver::SQLServer& CVexilon::Server() const {
  if (!sqlServer_)
    throw vx::ComError(vx::err::kObjectNotSet, "CVexilon", "Object variable or With block variable not set");
  return *sqlServer_;
}

std::shared_ptr<vx::sqlserver::Database> CVexilon::DatabaseByID(int32_t lngDatabaseID) const {
  return Server().GetDatabases().ItemByID(lngDatabaseID);
}

vx::sqlserver::Recordset CVexilon::CatalogueQuery(int32_t lngDatabaseID, const std::string& queryText) const {
  // On the server object's own catalogue session: no login per query, and a
  // server that went away reports a lost connection rather than "cannot connect".
  const std::string databaseName = DatabaseByID(lngDatabaseID)->Name();
  vx::sqlserver::CatalogConnection connection;
  connection.Open(Server(), databaseName);
  vx::sqlserver::Recordset rows = connection.Execute(queryText);
  connection.Close();
  return rows;
}

void CVexilon::SetSessionFactory(std::shared_ptr<vx::sqlserver::SessionFactory> factory) {
  sessionFactory_ = factory ? std::move(factory) : vx::sqlserver::MakeDefaultSessionFactory();
}

std::shared_ptr<vx::sqlserver::SessionFactory> CVexilon::GetSessionFactory() const { return sessionFactory_; }

vx::archive::Connection CVexilon::OpenArchive() const { return vx::archive::Connection(appConnectionString_); }
