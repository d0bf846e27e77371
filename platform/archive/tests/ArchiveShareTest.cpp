// The archive between calls, seen from two processes: free for the other one,
// whole in the file alone once it rests, and a file replaced while it rests is
// the one used.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ArchiveTestFolder.h"
#include "archive/Connection.h"
#include "automation/ComError.h"

namespace {

using archive_test::ArchiveFolder;
using vx::archive::Connection;
using vx::archive::Parameter;
using vx::archive::ParamType;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// The longest the archive may take to rest after its last call.
constexpr auto kRestAfter = std::chrono::seconds(2);

void AddServer(Connection& c, const std::string& name) {
  c.Execute("qryAddSQLServer", {Parameter::Text("@SQLServerName", name, 128),
                                Parameter::Byte("@LoginAuthenticationType", 1), Parameter::Text("@UserName", "", 128),
                                Parameter::Text("@Password", "", 128, ParamType::LongVarWChar)});
}

// The registered servers' names, in the archive's order, joined by ",".
std::string ServersIn(const std::string& connection) {
  Connection c(connection);
  auto rs = c.OpenRecordset("qryGetSQLServers");
  std::string names;
  for (; !rs.IsEOF(); rs.MoveNext()) names += (names.empty() ? "" : ",") + rs.Field("SQLServerName").ToText();
  return names;
}

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// What a copy of the archive file alone holds, opened in a folder of its own.
std::string ServersInCopyOf(const ArchiveFolder& f) {
  ArchiveFolder elsewhere("-copy");
  fs::copy_file(f.Path("Vexilon.dat"), elsewhere.Path("Vexilon.dat"), fs::copy_options::overwrite_existing);
  return ServersIn(elsewhere.User());
}

// Another process using the archive through the same calls, one call per
// command; between commands it runs none.
class OtherProcess {
 public:
  explicit OtherProcess(const std::string& connection, const std::string& tag = "FromOther") {
    if (::pipe(toChild_) != 0 || ::pipe(fromChild_) != 0) return;
    pid_ = ::fork();
    if (pid_ != 0) return;
    char command = 0;
    while (::read(toChild_[0], &command, 1) == 1 && command != 'q') {
      std::string answer;
      try {
        if (command == 'a') {
          Connection c(connection);
          AddServer(c, tag + std::to_string(++added_));
          answer = "added";
        } else {
          answer = ServersIn(connection);
        }
      } catch (const vx::ComError& e) {
        answer = "error: " + e.Description();
      }
      const uint32_t size = static_cast<uint32_t>(answer.size());
      (void)!::write(fromChild_[1], &size, sizeof size);
      (void)!::write(fromChild_[1], answer.data(), size);
    }
    ::_exit(0);
  }
  ~OtherProcess() {
    if (pid_ <= 0) return;
    (void)!::write(toChild_[1], "q", 1);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  std::string Add() { return Ask('a'); }
  std::string Servers() { return Ask('s'); }
  // Ends the process as a kill ends it, between two calls.
  void Kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  std::string Ask(char command) {
    if (pid_ <= 0 || ::write(toChild_[1], &command, 1) != 1) return "no process";
    uint32_t size = 0;
    if (::read(fromChild_[0], &size, sizeof size) != sizeof size) return "no answer";
    std::string answer(size, '\0');
    for (size_t done = 0; done < size;) {
      const ssize_t n = ::read(fromChild_[0], answer.data() + done, size - done);
      if (n <= 0) return "no answer";
      done += static_cast<size_t>(n);
    }
    return answer;
  }
  int toChild_[2] = {-1, -1}, fromChild_[2] = {-1, -1};
  pid_t pid_ = -1;
  int added_ = 0;
};

// Resting: no log and no log index beside the file.
void ExpectTheFileAlone(const ArchiveFolder& f) {
  EXPECT_FALSE(fs::exists(f.Path("Vexilon.dat-wal")));
  EXPECT_FALSE(fs::exists(f.Path("Vexilon.dat-shm")));
}

TEST(ArchiveShare, BetweenCallsTheFileIsFreeForOthersAndAloneHoldsTheArchiveAsItLies) {
  ArchiveFolder f;
  OtherProcess other(f.User());
  ASSERT_EQ(other.Add(), "added");
  auto lastCall = Clock::now();
  std::this_thread::sleep_until(lastCall + kRestAfter);
  ExpectTheFileAlone(f);
  EXPECT_EQ(ServersInCopyOf(f), "FromOther1");
  const std::string earlier = Bytes(f.Path("Vexilon.dat"));

  // Right after the other process's call, while it runs none, this process
  // reads and writes the archive; and the other one right after this one's.
  ASSERT_EQ(other.Add(), "added");
  {
    Connection c(f.User());
    AddServer(c, "FromThisProcess");
  }
  EXPECT_EQ(other.Servers(), "FromOther1,FromOther2,FromThisProcess");
  lastCall = Clock::now();
  std::this_thread::sleep_until(lastCall + kRestAfter);
  ExpectTheFileAlone(f);
  EXPECT_EQ(ServersInCopyOf(f), "FromOther1,FromOther2,FromThisProcess");

  // The earlier copy written over the file in place while the archive rests:
  // both processes use it as it is, and nothing of the file it replaced comes back.
  {
    std::ofstream out(f.Path("Vexilon.dat"), std::ios::binary | std::ios::trunc);
    out << earlier;
  }
  EXPECT_EQ(ServersIn(f.User()), "FromOther1");
  EXPECT_EQ(other.Servers(), "FromOther1");
  ASSERT_EQ(other.Add(), "added");
  lastCall = Clock::now();
  std::this_thread::sleep_until(lastCall + kRestAfter);
  ExpectTheFileAlone(f);
  EXPECT_EQ(ServersInCopyOf(f), "FromOther1,FromOther3");
}

// Two processes taking turns around the time an idle connection is let go,
// and a writer killed beside a reader: every row a call acknowledged is in the
// archive afterwards, and the file passes its check.
struct Turn {
  char process;  // 'A' or 'B'
  double at;     // seconds from the start
  char what;     // 'a' adds a row, 'r' reads, 'k' kills the process
};
struct Turns {
  const char* name;
  std::vector<Turn> turns;
};

std::vector<Turn> Alternating(double gap) {
  std::vector<Turn> turns;
  for (int i = 0; i < 6; ++i) turns.push_back({i % 2 ? 'B' : 'A', gap * i, 'a'});
  return turns;
}

TEST(ArchiveShare, TwoProcessesTakingTurnsLoseNoAcknowledgedRow) {
  const Turns rows[] = {
      {"every 0.3 s", Alternating(0.3)},
      {"every 1 s", Alternating(1.0)},
      {"every 1.3 s", Alternating(1.3)},
      {"the second writer's turns between the first's", {{'A', 0, 'a'}, {'B', 0.5, 'a'}, {'B', 1.2, 'a'}, {'A', 1.3, 'a'}}},
      {"a reader beside a writer killed after its call",
       {{'A', 0, 'a'}, {'B', 0.5, 'r'}, {'A', 1.2, 'a'}, {'A', 1.7, 'k'}}},
  };
  for (const Turns& row : rows) {
    SCOPED_TRACE(row.name);
    ArchiveFolder f;
    OtherProcess a(f.User(), "A"), b(f.User(), "B");
    std::set<std::string> acknowledged;
    int added[2] = {0, 0};
    const auto start = Clock::now();
    for (const Turn& t : row.turns) {
      std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(
                                                std::chrono::duration<double>(t.at)));
      OtherProcess& p = t.process == 'A' ? a : b;
      if (t.what == 'k') {
        p.Kill();
      } else if (t.what == 'r') {
        EXPECT_EQ(p.Servers().find("error"), std::string::npos);
      } else if (p.Add() == "added") {
        acknowledged.insert(std::string(1, t.process) + std::to_string(++added[t.process == 'B']));
      }
    }
    a.Kill();
    b.Kill();
    EXPECT_EQ(acknowledged.size(), std::count_if(row.turns.begin(), row.turns.end(),
                                                 [](const Turn& t) { return t.what == 'a'; }));
    std::stringstream names(ServersIn(f.User()));
    std::set<std::string> found;
    for (std::string name; std::getline(names, name, ',');) found.insert(name);
    EXPECT_EQ(found, acknowledged);
    EXPECT_NO_THROW(vx::archive::CheckArchiveSound(f.Path("Vexilon.dat")));
  }
}

// Compaction's copy takes the archive's place while this process still holds
// the archive: a call of another process meanwhile is refused, not lost.
TEST(ArchiveShare, AnotherProcessCannotWriteWhileTheCompactedCopyReplacesTheArchive) {
  ArchiveFolder f;
  OtherProcess other(f.User());
  std::string during;
  vx::archive::CompactDatabase(f.Admin(), vx::archive::CompactTargetConnectionString(f.Folder()), [&] {
    during = other.Add();
    fs::rename(f.Path("Vexilon.tmp"), f.Path("Vexilon.dat"));
  });
  EXPECT_NE(during.find("already open"), std::string::npos) << during;
  EXPECT_EQ(other.Add(), "added");
  EXPECT_EQ(ServersIn(f.User()), "FromOther1");
}

}  // namespace
