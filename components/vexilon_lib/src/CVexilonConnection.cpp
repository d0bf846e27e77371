// Connecting to a server, disconnecting, and the login's access to a database.
#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"
#include "sqlserver/ConnectionString.h"
#include "sqlserver/Database.h"
#include "sqlserver/Databases.h"
#include "sqlserver/SQLServer.h"
#include "vexilon_lib/CVexilon.h"

namespace {
constexpr int32_t kRequiredVersionMajor = 8;
}

ENU_SERVER_CONNECTION_RESPONSES CVexilon::ConnectServer(UDT_LOGIN_CREDENTIALS& typLoginCredentials) {
  // Failures of creating and connecting the server object become a result.
  bool failed = false;
  int32_t lastError = 0;
  try {
    sqlServer_.reset();
    sqlServer_ = std::make_shared<vx::sqlserver::SQLServer>(sessionFactory_);
    switch (typLoginCredentials.enumLoginAuthenticationType) {
      case ENU_LAT_TRUSTED:
        sqlServer_->SetLoginSecure(true);
        sqlServer_->Connect(typLoginCredentials.strSQLServerName);
        break;
      case ENU_LAT_SQLSERVER:
        sqlServer_->Connect(typLoginCredentials.strSQLServerName, typLoginCredentials.strUserName,
                            typLoginCredentials.strPassword);
        break;
      default:  // no login of a known kind: nothing to connect with
        failed = true;
        break;
    }
  } catch (const vx::ComError& e) {
    failed = true;
    lastError = e.Number();
  } catch (const std::exception&) {
    failed = true;
    lastError = 0;
  }

  ENU_SERVER_CONNECTION_RESPONSES result;
  if (failed) {
    result = lastError == vx::err::kServerConnection ? ENU_SCR_ACCESS_DENIED : ENU_SCR_UNABLE_TO_CONNECT;
  } else if (static_cast<double>(sqlServer_->VersionMajor()) != static_cast<double>(kRequiredVersionMajor)) {
    result = ENU_SCR_WRONG_SERVER_VERSION;
  } else {
    result = ENU_SCR_SUCCESSFUL;
    using vx::sqlserver::QuoteConnectionValue;
    std::string cs = "Provider=SQLOLEDB;Data Source=" + QuoteConnectionValue(sqlServer_->Name()) +
                     ";Initial Catalog=[INITIAL_CATALOG];";
    if (typLoginCredentials.enumLoginAuthenticationType == ENU_LAT_TRUSTED)
      cs += "Integrated Security=SSPI";
    else
      cs += "User Id=" + QuoteConnectionValue(typLoginCredentials.strUserName) +
            " ;Password=" + QuoteConnectionValue(typLoginCredentials.strPassword);
    sqlServerConnectionString_ = cs;
  }
  if (result != ENU_SCR_SUCCESSFUL) sqlServer_.reset();
  return result;
}

void CVexilon::DisconnectSQLServer() {
  if (!sqlServer_) return;
  sqlServer_->DisConnect();
  sqlServer_->Close();
  sqlServer_.reset();
}

vx::VbBool CVexilon::HasLoginDatabaseAccess(int32_t lngDatabaseID) {
  try {
    Server().GetDatabases().Refresh();
    (void)Server().GetDatabases().ItemByID(lngDatabaseID)->IsDbOwner();
  } catch (const std::exception&) {
    return vx::kFalse;
  }
  return vx::kTrue;
}

vx::VbBool CVexilon::CheckDatabasePermissions(int32_t lngDatabaseID) {
  Server().GetDatabases().Refresh();
  if (Server().GetDatabases().ItemByID(lngDatabaseID)->IsDbOwner() != 0) return vx::kTrue;
  return Server().GetDatabases().ItemByID(lngDatabaseID)->IsDdlAdmin() != 0 ? vx::kTrue : vx::kFalse;
}
