// Encrypt and restore of every object of the four kinds in one database.
#include <array>
#include <limits>
#include <optional>

#include <QTreeWidget>

#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"
#include "basErrorReports.h"
#include "basMessages.h"
#include "explorer/ExplorerBatchRun.h"
#include "explorer/ExplorerKinds.h"
#include "explorer/ExplorerPrompts.h"
#include "explorer/frmSQLServerExplorer.h"
#include "sqlserver/SQLServer.h"
#include "vexilon_global/CGlobal.h"
#include "vexilon_lib/CVexilon.h"

using vx::app::MsgBox;

namespace {

constexpr std::array<ENU_OBJECT_TYPES, 4> kKinds{ENU_OBT_STORED_PROCEDURE, ENU_OBT_TRIGGER,
                                                 ENU_OBT_USER_DEFINED_FUNCTION, ENU_OBT_VIEW};

vx::VbBool IgnoreSystemObjects() { return CGlobal::Instance().ShowSystemObjects() ? vx::kFalse : vx::kTrue; }

// The four lists of a run, in the kinds' order.
std::array<UDT_OBJECT_CONTAINER, 4> FetchLists(CVexilon& engine, int32_t databaseId, bool encrypted) {
  std::array<UDT_OBJECT_CONTAINER, 4> lists;
  if (!encrypted) {
    lists[0] = engine.GetStoredProcedures(databaseId, IgnoreSystemObjects());
    lists[1] = engine.GetTriggers(databaseId, IgnoreSystemObjects());
    lists[2] = engine.GetUserDefinedFunctions(databaseId, IgnoreSystemObjects());
    lists[3] = engine.GetViews(databaseId, IgnoreSystemObjects());
  } else {
    lists[0] = engine.GetEncryptedStoredProcedures(databaseId, IgnoreSystemObjects());
    lists[1] = engine.GetEncryptedTriggers(databaseId, IgnoreSystemObjects());
    lists[2] = engine.GetEncryptedUserDefinedFunctions(databaseId, IgnoreSystemObjects());
    lists[3] = engine.GetEncryptedViews(databaseId, IgnoreSystemObjects());
  }
  return lists;
}

int32_t Total(const std::array<UDT_OBJECT_CONTAINER, 4>& lists) {
  int64_t total = 0;
  for (const auto& l : lists) total += l.lngElements;
  if (total > std::numeric_limits<int32_t>::max()) throw vx::ComError(vx::err::kOverflow, "frmSQLServerExplorer", "Overflow");
  return static_cast<int32_t>(total);
}

// A run's closing message. Only objects done count: with errors and none done,
// the message does not claim any.
void TellOutcome(bool errors, int done, const QString& noneDone, const QString& someDone, const QString& allDone) {
  if (errors)
    MsgBox(done == 0 ? noneDone : someDone, vx::app::vbExclamation);
  else
    MsgBox(allDone, vx::app::vbInformation);
}

}  // namespace

bool frmSQLServerExplorer::EncryptAllDatabaseObjects(int32_t lngDatabaseID) {
  std::optional<ExplorerBatchRun> run;
  RunStop stop;
  try {
    const bool archive = ExplorerBatchRun::TakeArchiving();
    auto lists = FetchLists(Vexilon(), lngDatabaseID, false);
    const int32_t total = Total(lists);
    if (total <= 0) {
      MsgBox(QStringLiteral("There are no database objects to encrypt."), vx::app::vbInformation);
      return true;
    }
    run.emplace(this);
    stop.total = total;
    run->Begin(total, ExplorerKinds::WorkingText(kKinds[0], true));
    Vexilon().SetErrorsExist(vx::kFalse);
    int encrypted = 0;
    for (size_t k = 0; k < kKinds.size(); ++k) {
      run->SetStatus(ExplorerKinds::WorkingText(kKinds[k], true));
      for (const UDT_OBJECT& o : lists[k].arrObjects) {
        stop.current = o;
        stop.current.enumObjectType = kKinds[k];
        if (ExplorerKinds::Encrypt(Vexilon(), kKinds[k], archive, lngCurrentDatabaseID_, o)) ++encrypted;
        run->Step(++stop.done);
      }
      lists[k] = UDT_OBJECT_CONTAINER{};
    }
    run->End(run->Status(), false);
    TellOutcome(Vexilon().GetErrorsExist(), encrypted,
                QStringLiteral("Errors occured during encryption and no database objects were encrypted. Please view "
                               "the Vexilon log for details."),
                QStringLiteral("Errors occured during encryption, however some database objects were encrypted. "
                               "Please view the Vexilon log for details."),
                QStringLiteral("All database objects have been encrypted."));
    return true;
  } catch (...) {
    if (run && IsConnectionLost()) {
      RunConnectionLost(*run, stop);
      return false;
    }
    // A lost connection marks the server's node and ends the run quietly.
    if (!HandleConnectionLost()) vx::app::ReportError("frmSQLServerExplorer", "EncryptAllDatabaseObjects", __LINE__);
  }
  return false;
}

bool frmSQLServerExplorer::RestoreAllDatabaseObjects(int32_t lngDatabaseID) {
  std::optional<ExplorerBatchRun> run;
  RunStop stop;
  stop.encrypt = false;
  try {
    auto lists = FetchLists(Vexilon(), lngDatabaseID, true);
    const int32_t total = Total(lists);
    if (total <= 0) {
      MsgBox(QStringLiteral("There are no database objects to restore."), vx::app::vbInformation);
      return true;
    }
    run.emplace(this);
    stop.total = total;
    run->Begin(total, ExplorerKinds::WorkingText(kKinds[0], false));
    Vexilon().SetErrorsExist(vx::kFalse);
    int restored = 0;
    for (size_t k = 0; k < kKinds.size(); ++k) {
      run->SetStatus(ExplorerKinds::WorkingText(kKinds[k], false));
      for (const UDT_OBJECT& o : lists[k].arrObjects) {
        stop.current = o;
        int32_t r = ExplorerKinds::Restore(Vexilon(), lngCurrentDatabaseID_, o, false);
        if (r == ENU_RES_ARCHIVE_VERSION_OLDER) {
          const QString prompt = ExplorerPrompts::OlderArchive(
              ExplorerKinds::DatabaseName(Vexilon(), lngCurrentDatabaseID_), QString::fromStdString(o.strOwnerName),
              QString::fromStdString(o.strObjectName), o.lngID);
          if (MsgBox(prompt, vx::app::vbYesNo + vx::app::vbExclamation) == vx::app::vbYes)
            r = ExplorerKinds::Restore(Vexilon(), lngCurrentDatabaseID_, o, true);
        }
        if (r == ENU_RES_SUCCESSFUL) ++restored;
        run->Step(++stop.done);
      }
      lists[k] = UDT_OBJECT_CONTAINER{};
    }
    run->End(run->Status(), false);
    TellOutcome(Vexilon().GetErrorsExist(), restored,
                QStringLiteral("Errors occured during the restore and no database objects were restored. Please view "
                               "the Vexilon log for details."),
                QStringLiteral("Errors occured during the restore, however some database objects were restored. "
                               "Please view the Vexilon log for details."),
                QStringLiteral("All database objects have been restored."));
    return true;
  } catch (...) {
    if (run && IsConnectionLost()) {
      RunConnectionLost(*run, stop);
      return false;
    }
    // A lost connection marks the server's node and ends the run quietly.
    if (!HandleConnectionLost()) vx::app::ReportError("frmSQLServerExplorer", "RestoreAllDatabaseObjects", __LINE__);
  }
  return false;
}
