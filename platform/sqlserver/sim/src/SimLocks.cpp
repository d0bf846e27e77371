// The server file's write lock as a session takes it (at the first write of a
// transaction), how long it waits for another's, and the cancel of a batch.
#include <chrono>
#include <thread>

#include "SimSession.h"
#include "SimStore.h"

#include <sqlcipher/sqlite3.h>

namespace vx::sqlsim {

void SimSession::NeedWrite() {
  if (!inSqliteTxn_ || writeLocked_) return;
  if (sqlite3_total_changes(db_.Handle()) != changesAtBegin_) {  // written already: the lock is held
    writeLocked_ = true;
    return;
  }
  // Nothing written yet: the transaction gives up what it read for the write
  // lock, so it never writes on an older state than the last writer left.
  db_.Exec("RELEASE vx_batch");
  db_.Exec("COMMIT");
  inSqliteTxn_ = false;
  db_.Exec("BEGIN IMMEDIATE");
  inSqliteTxn_ = true;
  writeLocked_ = true;
  changesAtBegin_ = sqlite3_total_changes(db_.Handle());
  db_.Exec("SAVEPOINT vx_batch");
}

void SimSession::Cancel() {
  cancel_ = true;
  if (open_) sqlite3_interrupt(db_.Handle());
}

sqlserver::ServerMessage SimSession::Cancelled() {
  return {3980, 16, 1, 1,
          "The request failed to run because the batch is aborted, this can be caused by abort signal sent from "
          "client, or another request is running in the same session, which makes the session busy."};
}

int SimSession::BusyWait(void* self, int count) {
  auto* s = static_cast<SimSession*>(self);
  const auto now = std::chrono::steady_clock::now();
  if (count == 0) s->waitStarted_ = now;
  if (s->cancel_ || s->broken_) return 0;
  // SET LOCK_TIMEOUT, else $VEXILON_SIM_BUSY_MS, else as long as it takes (the server's default).
  const int limit = s->lockTimeoutMs_ ? *s->lockTimeoutMs_ : BusyTimeoutMs();
  if (limit >= 0 && now - s->waitStarted_ >= std::chrono::milliseconds(limit)) return 0;
  std::this_thread::sleep_for(std::chrono::milliseconds(count < 4 ? 1 << count : 20));
  return 1;
}

}  // namespace vx::sqlsim
