#pragma once
// What the shell's tests share: a fixture that runs the real start-up and exit
// with the process end caught, a runtime folder of its own for the instance
// lock (the error-report service's stand-in is in FakeReportService.h).
#include <ostream>
#include <string>
#include <vector>

#include <QByteArray>

#include "support/QtPrinters.h"
#include "support/UiTest.h"

namespace shell_test {

class ShellTest : public ui_test::UiTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::string File(const char* name) const { return ProgramFolder() + name; }
  static QByteArray Bytes(const std::string& path);  // empty for no file, or not a file
  static int Mode(const std::string& path);  // permission bits, -1 when missing
  // Runs events until `done` holds or `ms` have passed.
  static bool WaitFor(const std::function<bool()>& done, int ms = 3000);
  // Holds an exclusive lock on a file through a descriptor of its own, as
  // another process holding it open would. -1 on failure; close() to release.
  static int HoldFile(const std::string& path);

  // Adds rows to the program folder's archive until it spans many pages, so
  // that its middle holds table rows.
  void FillArchive() const;
  // Leaves the archive as a run killed between two calls leaves it: FillArchive
  // in a child killed right after, its rows in the log beside the file. True
  // when the child was killed so.
  bool FillArchiveAndKill() const;

  std::vector<int> endCodes;  // each end of the process ExitApp asked for
};

// The ways an archive file gets damaged: cut to half its length, emptied, its
// first 64 bytes overwritten, one 4 KiB block in its middle overwritten.
enum class Damage { Halved, Empty, Header, MiddleBlock };
void DamageFile(const std::string& path, Damage damage);
// The same damage done to any file, as it lies (the archive's log among them).
void DamageBytes(const std::string& path, Damage damage);
const char* DamageName(Damage damage);
// How the archive check describes the file so damaged: damaged (it opens with
// the key but its pages fail) or not an archive (empty, or its first page gone).
bool FoundDamaged(Damage damage);
std::string FindingOf(Damage damage, const std::string& path);
// Leaves a temporary backup copy as a backup cut short leaves it (owner-only).
std::string LeaveCopyCutShort(const std::string& folder, const std::string& tag);
inline void PrintTo(Damage damage, std::ostream* os) { *os << DamageName(damage); }

}  // namespace shell_test
