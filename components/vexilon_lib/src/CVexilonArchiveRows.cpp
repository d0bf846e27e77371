// The archive rows of one object after a server step, and the numbered-procedure test.
#include "ArchiveCalls.h"
#include "archive/Connection.h"
#include "automation/ComError.h"
#include "sqlserver/Recordset.h"
#include "vexilon_lib/CVexilon.h"

namespace calls = vexilon::archive_calls;

bool CVexilon::IsNumberedProcedure(int32_t lngDatabaseID, int32_t lngID) const {
  vx::sqlserver::Recordset rs = CatalogueQuery(
      lngDatabaseID, "SELECT COUNT(*) AS numbers FROM syscomments WHERE id = " + std::to_string(lngID) +
                         " AND number > 1");
  return !rs.IsEOF() && rs.Field("numbers").AsInt32() > 0;
}

void CVexilon::DeleteArchivedRows(const std::string& serverName, int32_t lngDatabaseID, int32_t lngID,
                                  const std::function<bool(int32_t rowId, const std::string& script)>& drop) const {
  try {
    vx::archive::Connection connection = calls::OpenWaiting([this] { return OpenArchive(); });
    connection.BeginTrans();
    for (const calls::ArchivedRow& row : calls::RowsOf(connection, serverName, lngDatabaseID, lngID))
      if (drop(row.rowId, row.script)) calls::DeleteRow(connection, serverName, lngDatabaseID, lngID, row.rowId);
    connection.CommitTrans();
    connection.Close();
  } catch (const std::exception&) {
    // A row that stays is never a loss: the newest row is the one that counts.
  }
}
