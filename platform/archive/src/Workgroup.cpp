#include "Workgroup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "Secrets.h"
#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"
#include "sqlite/Database.h"

namespace vx::archive::detail {
namespace {

constexpr const char* kSource = "Archive";

// Whole, a NUL inside and all (strncasecmp would stop there), without ASCII case.
bool SameText(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

// Compares without an early exit, so timing tells nothing about the password.
bool SamePassword(const std::string& a, const std::string& b) {
  unsigned diff = a.size() == b.size() ? 0u : 1u;
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

// What one logon proved, and the file it was proved against. The workgroup file
// is an encrypted database of its own: reading it on every archive open cost as
// much as opening the archive. Within one process a logon is taken again from
// here while the same file (same inode, size and modification time) is asked
// for the same account and password; any other file, account or password reads
// the file again.
struct ProvedLogon {
  std::string path;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  struct timespec modified {};
  std::string account;
  std::string password;
  Logon logon;
};

std::mutex& ProvedMutex() {
  static std::mutex m;
  return m;
}
std::vector<ProvedLogon>& Proved() {
  static std::vector<ProvedLogon> proved;
  return proved;
}

bool SameFile(const ProvedLogon& p, const std::string& path, const struct stat& st) {
  return p.path == path && p.device == st.st_dev && p.inode == st.st_ino && p.size == st.st_size &&
         p.modified.tv_sec == st.st_mtim.tv_sec && p.modified.tv_nsec == st.st_mtim.tv_nsec;
}

}  // namespace

bool CreateOwnerOnlyFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    if (errno == EEXIST) return false;
    throw ComError(err::kPathNotFound, kSource, "Cannot create the file '" + path + "': " + std::strerror(errno));
  }
  ::fchmod(fd, 0600);  // whatever the umask
  ::close(fd);
  return true;
}

Logon LogOn(const std::string& workgroupPath, const std::string& account, const std::string& password) {
  struct stat st {};
  if (workgroupPath.empty() || ::stat(workgroupPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    throw ComError(err::kArchiveFileNotFound, kSource,
                   "The workgroup information file '" + workgroupPath + "' is missing.");
  {
    std::lock_guard<std::mutex> guard(ProvedMutex());
    for (const ProvedLogon& p : Proved())
      if (SameFile(p, workgroupPath, st) && p.account == account && SamePassword(password, p.password))
        return p.logon;
  }
  std::string storedPassword, storedAccount, key;
  bool admin = false, found = false;
  try {
    vx::sqlite::Database wg(workgroupPath, vx::sqlite::OpenMode::ReadOnly, std::string(kWorkgroupKey));
    auto s = wg.Prepare("SELECT Name, Password, IsAdministrator FROM Accounts WHERE Name = ?1 COLLATE NOCASE");
    s.Bind(1, account);
    if (s.Step()) {
      found = true;
      storedAccount = s.Text(0);
      storedPassword = s.Text(1);
      admin = s.Int64(2) != 0;
    }
    auto k = wg.Prepare("SELECT Value FROM Workgroup WHERE Name = 'DatabaseKey'");
    if (k.Step()) key = k.Text(0);
  } catch (const ComError&) {
    throw ComError(err::kArchiveNotADatabase, kSource,
                   "The file '" + workgroupPath + "' is not a valid workgroup information file.");
  }
  if (key.empty())
    throw ComError(err::kArchiveNotADatabase, kSource,
                   "The file '" + workgroupPath + "' is not a valid workgroup information file.");
  if (!found || !SamePassword(password, storedPassword) || !SameText(account, storedAccount))
    throw ComError(err::kArchiveAuthentication, kSource,
                   "Not a valid account name or password.");
  const Logon logon{storedAccount, admin, key};
  {
    std::lock_guard<std::mutex> guard(ProvedMutex());
    auto& proved = Proved();
    std::erase_if(proved, [&](const ProvedLogon& p) { return p.path == workgroupPath && p.account == account; });
    proved.push_back(ProvedLogon{workgroupPath, st.st_dev, st.st_ino, st.st_size, st.st_mtim, account, password, logon});
  }
  return logon;
}

void WriteWorkgroupFile(const std::string& path) {
  std::remove(path.c_str());
  CreateOwnerOnlyFile(path);
  vx::sqlite::Database wg(path, vx::sqlite::OpenMode::ReadWrite, std::string(kWorkgroupKey));
  wg.Exec("BEGIN");
  wg.Exec("CREATE TABLE Accounts (Name TEXT NOT NULL COLLATE NOCASE PRIMARY KEY, Password TEXT NOT NULL, "
          "IsAdministrator INTEGER NOT NULL)");
  wg.Exec("CREATE TABLE Workgroup (Name TEXT NOT NULL PRIMARY KEY, Value TEXT NOT NULL)");
  auto add = [&](const char* name, const char* password, int admin) {
    wg.Prepare("INSERT INTO Accounts (Name, Password, IsAdministrator) VALUES (?1, ?2, ?3)")
        .Bind(1, name)
        .Bind(2, password)
        .Bind(3, admin)
        .Step();
  };
  add(kUserAccount, kUserPassword, 0);
  add(kAdminAccount, kAdminPassword, 1);
  wg.Prepare("INSERT INTO Workgroup (Name, Value) VALUES ('DatabaseKey', ?1)").Bind(1, kArchiveKey).Step();
  wg.Exec("COMMIT");
}

}  // namespace vx::archive::detail
