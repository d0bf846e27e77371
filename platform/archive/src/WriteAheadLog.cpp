#include "WriteAheadLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace vx::archive::detail {
namespace {

// The log's layout, as SQLite writes it: a header of 32 bytes, then frames of
// a 24-byte header and one page each. Numbers in the headers are big-endian.
constexpr uint32_t kLogMagic = 0x377f0682;  // the low bit tells the checksums' byte order
constexpr uint32_t kLogVersion = 3007000;
constexpr int64_t kLogHeaderSize = 32;
constexpr int64_t kFrameHeaderSize = 24;
// The index: two copies of a 48-byte header (numbers in the machine's order),
// then the checkpoint's record, whose first number is how many frames of the
// log are in the file. A process that has the log open holds a shared lock on
// byte 128 of the index.
constexpr std::size_t kIndexHeaderSize = 48;
constexpr std::size_t kIndexReadSize = 2 * kIndexHeaderSize + 4;
constexpr off_t kIndexInUseByte = 128;

uint32_t Big(const unsigned char* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
uint32_t Native(const unsigned char* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// SQLite's running checksum of the log: over pairs of 32-bit words.
struct Checksum {
  uint32_t s1 = 0, s2 = 0;
  void Add(const unsigned char* a, std::size_t n, bool bigEndian) {
    for (std::size_t i = 0; i + 8 <= n; i += 8) {
      uint32_t w1, w2;
      if (bigEndian) {
        w1 = Big(a + i);
        w2 = Big(a + i + 4);
      } else {
        w1 = Native(a + i);  // the little-endian order of the machines this runs on
        w2 = Native(a + i + 4);
      }
      s1 += w1 + s2;
      s2 += w2 + s1;
    }
  }
};

class Descriptor {
 public:
  explicit Descriptor(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Fd() const { return fd_; }
  int64_t Size() const {
    struct stat st {};
    return fd_ >= 0 && ::fstat(fd_, &st) == 0 ? int64_t(st.st_size) : -1;
  }
  bool ReadAt(void* buffer, std::size_t n, int64_t at) const {
    auto* out = static_cast<unsigned char*>(buffer);
    while (n > 0) {
      const ssize_t got = ::pread(fd_, out, n, off_t(at));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      out += got;
      at += got;
      n -= std::size_t(got);
    }
    return true;
  }

 private:
  int fd_;
};

struct LogHeader {
  bool valid = false;
  bool allZero = true;  // as a file extended but never written reads
  bool bigEndian = false;
  uint32_t pageSize = 0;
  unsigned char salt[8] = {};
  Checksum checksum;
};

LogHeader ReadLogHeader(const Descriptor& log, int64_t size) {
  LogHeader h;
  unsigned char b[kLogHeaderSize] = {};
  const int64_t n = size < kLogHeaderSize ? size : kLogHeaderSize;
  if (n <= 0 || !log.ReadAt(b, std::size_t(n), 0)) return h;
  for (int64_t i = 0; i < n; ++i) h.allZero = h.allZero && b[i] == 0;
  if (n < kLogHeaderSize) return h;
  const uint32_t magic = Big(b);
  h.bigEndian = (magic & 1) != 0;
  h.pageSize = Big(b + 8);
  std::memcpy(h.salt, b + 16, sizeof h.salt);
  h.checksum.Add(b, 24, h.bigEndian);
  h.valid = (magic & ~1u) == kLogMagic && Big(b + 4) == kLogVersion && h.pageSize >= 512 && h.pageSize <= 65536 &&
            (h.pageSize & (h.pageSize - 1)) == 0 && h.checksum.s1 == Big(b + 24) && h.checksum.s2 == Big(b + 28);
  return h;
}

// The frames as SQLite's recovery reads them: in order, each with this round's
// salt and a checksum that continues the one before, up to the first that
// fails. The last commit frame among them ends what SQLite takes as committed.
struct FrameScan {
  uint32_t committed = 0;      // frames SQLite takes as committed
  uint32_t firstFailing = 0;   // the first frame that fails, 0 when none does
  bool committedAfter = false; // a commit frame of this round lies after it
};

FrameScan ScanFrames(const Descriptor& log, int64_t size, const LogHeader& h) {
  FrameScan scan;
  const int64_t frameSize = kFrameHeaderSize + h.pageSize;
  std::vector<unsigned char> frame(static_cast<std::size_t>(frameSize));
  Checksum chain = h.checksum;
  uint32_t index = 1;
  for (int64_t at = kLogHeaderSize; at + frameSize <= size; at += frameSize, ++index) {
    // After the first failing frame only the headers matter: a later commit
    // frame of this round was written after the failing one, which was whole then.
    const std::size_t need = scan.firstFailing ? std::size_t(kFrameHeaderSize) : frame.size();
    if (!log.ReadAt(frame.data(), need, at)) break;
    const unsigned char* f = frame.data();
    const bool thisRound = Big(f) != 0 && std::memcmp(f + 8, h.salt, sizeof h.salt) == 0;
    const bool commit = Big(f + 4) != 0;
    if (scan.firstFailing) {
      if (thisRound && commit) {
        scan.committedAfter = true;
        break;
      }
      continue;
    }
    Checksum next = chain;
    next.Add(f, 8, h.bigEndian);
    next.Add(f + kFrameHeaderSize, h.pageSize, h.bigEndian);
    if (!thisRound || next.s1 != Big(f + 16) || next.s2 != Big(f + 20)) {
      scan.firstFailing = index;
      continue;
    }
    chain = next;
    if (commit) scan.committed = index;
  }
  return scan;
}

// What the index says of the log, when its two header copies agree and pass
// their checksum.
struct LogIndex {
  bool inUse = false;  // another process has the log open
  bool valid = false;
  uint32_t lastCommitted = 0;  // the log's last committed frame
  uint32_t inFile = 0;         // frames the checkpoint has written to the file
  unsigned char salt[8] = {};
};

LogIndex ReadIndex(const std::string& indexPath) {
  LogIndex index;
  const Descriptor shm(indexPath);
  if (shm.Fd() < 0) return index;
  struct flock probe {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  probe.l_start = kIndexInUseByte;
  probe.l_len = 1;
  if (::fcntl(shm.Fd(), F_GETLK, &probe) != 0 || probe.l_type != F_UNLCK) {
    index.inUse = true;
    return index;
  }
  unsigned char b[kIndexReadSize];
  if (!shm.ReadAt(b, sizeof b, 0)) return index;
  Checksum sum;
  sum.Add(b, 40, false);
  index.valid = std::memcmp(b, b + kIndexHeaderSize, kIndexHeaderSize) == 0 && Native(b) == kLogVersion &&
                b[12] == 1 && sum.s1 == Native(b + 40) && sum.s2 == Native(b + 44);
  index.lastCommitted = Native(b + 16);
  std::memcpy(index.salt, b + 32, sizeof index.salt);
  index.inFile = Native(b + 2 * kIndexHeaderSize);
  return index;
}

}  // namespace

int LogPageSize(const std::string& logPath) {
  const Descriptor log(logPath);
  const LogHeader h = ReadLogHeader(log, log.Size());
  return h.valid ? int(h.pageSize) : 0;
}

std::optional<std::string> LostLogPages(const std::string& path) {
  const std::string logPath = path + "-wal", indexPath = path + "-shm";
  struct stat st {};
  if (::stat(logPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  const LogIndex index = ReadIndex(indexPath);
  if (index.inUse) return std::nullopt;
  const Descriptor log(logPath);
  const int64_t size = log.Size();
  if (size < 0) return std::nullopt;
  const LogHeader header = ReadLogHeader(log, size);
  const FrameScan scan = header.valid ? ScanFrames(log, size, header) : FrameScan{};
  // The index left by the run that wrote the log knows its committed frames and
  // how many of them the file has taken in: the log must still hold the rest.
  if (index.valid) {
    if (index.lastCommitted <= index.inFile) return std::nullopt;
    const bool sameRound = header.valid && std::memcmp(header.salt, index.salt, sizeof header.salt) == 0;
    const uint32_t readable = sameRound ? scan.committed : 0;
    if (readable >= index.lastCommitted) return std::nullopt;
    const std::string listed = std::to_string(index.lastCommitted) + " committed pages";
    if (size == 0) return "it is empty, though its index '" + indexPath + "' lists " + listed + " in it";
    if (!header.valid && !header.allZero) return "its header is damaged";
    return "only " + std::to_string(readable) + " of the " + listed + " that its index '" + indexPath +
           "' lists in it can be read";
  }
  // Without an index: a header that was written and is damaged hides every
  // page of the log; a failing page followed by a commit of the same round was
  // damaged after it was written. (With an index this last is no sign: a
  // commit of a transaction that spilled pages into the log early rewrites
  // some of them in place, before their checksums, after its commit frame; a
  // kill between the two leaves that transaction, never acknowledged, so.)
  if (!header.valid && !header.allZero) return "its header is damaged";
  if (scan.committedAfter)
    return "its page " + std::to_string(scan.firstFailing) + " is damaged, and committed pages follow it";
  return std::nullopt;
}

}  // namespace vx::archive::detail
