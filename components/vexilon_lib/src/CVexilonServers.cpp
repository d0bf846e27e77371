// Registered servers, kept in the archive.
#include "ArchiveCalls.h"
#include "archive/Connection.h"
#include "vexilon_lib/CVexilon.h"

namespace calls = vexilon::archive_calls;

CVexilon::Recordset CVexilon::GetSQLServers(const std::string& strSQLServerName) {
  vx::archive::Connection connection = OpenArchive();
  Recordset rs = strSQLServerName.empty()
                     ? connection.OpenRecordset(calls::kGetSQLServers)
                     : connection.OpenRecordset(calls::kGetSQLServer, calls::GetSQLServer(strSQLServerName));
  connection.Close();
  return rs;  // detached: the caller owns it
}

vx::VbBool CVexilon::RegisterSQLServer(const std::string& strSQLServerName,
                                       ENU_LOGIN_AUTHENTICATION_TYPES enumLoginAuthenticationType,
                                       const std::string& strUserName, const std::string& strPassword) {
  vx::archive::Connection connection = OpenArchive();
  connection.Execute(calls::kAddSQLServer,
                     calls::AddSQLServer(strSQLServerName, enumLoginAuthenticationType, strUserName, strPassword));
  connection.Close();
  return vx::kTrue;
}

vx::VbBool CVexilon::UnregisterSQLServer(const std::string& strSQLServerName) {
  vx::archive::Connection connection = OpenArchive();
  // The archive removes the server's archived objects with it.
  connection.Execute(calls::kDeleteSQLServer, calls::DeleteSQLServer(strSQLServerName));
  connection.Close();
  return vx::kTrue;
}

vx::VbBool CVexilon::UpdateSQLServer(const std::string& strSQLServerName,
                                     ENU_LOGIN_AUTHENTICATION_TYPES enumLoginAuthenticationType,
                                     const std::string& strUserName, const std::string& strPassword) {
  vx::archive::Connection connection = OpenArchive();
  connection.Execute(calls::kUpdateSQLServer,
                     calls::UpdateSQLServer(strSQLServerName, enumLoginAuthenticationType, strUserName, strPassword));
  connection.Close();
  return vx::kTrue;
}

int32_t CVexilon::GetSQLServerCount() {
  vx::archive::Connection connection = OpenArchive();
  Recordset rs = connection.OpenRecordset(calls::kCountSQLServers);
  int32_t count = 0;
  if (!rs.IsEOF()) count = rs.Field("SQLServerCount").ToLong();
  rs.Close();
  connection.Close();
  return count;
}
