#pragma once
// A TDS 7.1 client at the packet level, for what a driver hides: which message
// a token comes in, a message's exact bytes. It logs in with LOGIN7 alone, sends
// batches, procedure calls and attentions, and reads the tokens of the replies
// that the tests look at.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace tds_test {

class RawTds {
 public:
  enum : uint8_t { kBatch = 1, kRpc = 3, kAttention = 6, kLogin = 16 };

  // Connects to 127.0.0.1:port; reads give up after `waitSeconds`.
  explicit RawTds(int port, int waitSeconds = 10) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      close(fd_);
      fd_ = -1;
      return;
    }
    timeval wait{waitSeconds, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  }
  ~RawTds() {
    if (fd_ >= 0) close(fd_);
  }
  RawTds(const RawTds&) = delete;
  RawTds& operator=(const RawTds&) = delete;

  // LOGIN7; true when the server acknowledged it.
  bool Login(const std::string& user, const std::string& password, const std::string& database) {
    std::string fixed(86, '\0'), data;
    auto put = [&](size_t at, uint32_t v, int bytes) {
      for (int i = 0; i < bytes; ++i) fixed[at + static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i));
    };
    auto field = [&](size_t at, const std::string& text, bool secret) {
      put(at, static_cast<uint32_t>(86 + data.size()), 2);
      put(at + 2, static_cast<uint32_t>(text.size()), 2);
      for (unsigned char c : text) {
        for (unsigned char b : {c, static_cast<unsigned char>(0)}) {
          if (secret) b = static_cast<unsigned char>(((b << 4) | (b >> 4)) ^ 0xA5);
          data += static_cast<char>(b);
        }
      }
    };
    put(4, 0x71000001, 4);
    put(8, 4096, 4);
    field(36, "raw", false);
    field(40, user, false);
    field(44, password, true);
    field(48, "raw", false);
    field(68, database, false);
    put(0, static_cast<uint32_t>(86 + data.size()), 4);
    if (!Send(kLogin, fixed + data)) return false;
    std::string reply;
    if (!Read(reply)) return false;
    for (const Token& t : Parse(reply))
      if (t.type == 0xAD) return true;
    return false;
  }

  // One message of `type`, in packets of 4,096 bytes.
  bool Send(uint8_t type, const std::string& payload) {
    size_t at = 0;
    do {
      const size_t n = std::min<size_t>(4088, payload.size() - at);
      const bool last = at + n == payload.size();
      std::string packet{static_cast<char>(type), static_cast<char>(last ? 1 : 0), static_cast<char>((n + 8) >> 8),
                         static_cast<char>((n + 8) & 0xFF), 0, 0, 1, 0};
      packet.append(payload, at, n);
      if (send(fd_, packet.data(), packet.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(packet.size())) return false;
      at += n;
    } while (at < payload.size());
    return true;
  }
  bool SendBatch(const std::string& ascii) { return Send(kBatch, Ucs2(ascii)); }
  bool SendAttention() { return Send(kAttention, ""); }

  // The payload of the next whole message; false when the socket closed or stayed silent.
  bool Read(std::string& payload) {
    payload.clear();
    for (;;) {
      unsigned char h[8];
      if (!ReadExactly(reinterpret_cast<char*>(h), 8)) return false;
      const size_t length = (static_cast<size_t>(h[2]) << 8) | h[3];
      if (length < 8) return false;
      const size_t at = payload.size();
      payload.resize(at + length - 8);
      if (!ReadExactly(payload.data() + at, length - 8)) return false;
      if (h[1] & 1) return true;
    }
  }
  // Bytes that have come in so far without waiting (0 when none).
  size_t Waiting() {
    char b[65536];
    const ssize_t n = recv(fd_, b, sizeof b, MSG_PEEK | MSG_DONTWAIT);
    return n > 0 ? static_cast<size_t>(n) : 0;
  }

  // One token of a reply. DONE tokens: status and row count; INFO/ERROR: number,
  // state, level and text; ENVCHANGE: its type, new and old value; RETURNSTATUS
  // and an int RETURNVALUE: the value; a row: its first cell (bytes as sent) and
  // the column's wire type.
  struct Token {
    uint8_t type = 0;
    uint32_t number = 0;  // message number, DONE status, ENVCHANGE type
    uint8_t state = 0, level = 0;
    std::string text, old;  // message text or new value (ASCII); old value
    uint8_t wireType = 0;
    std::string cell;
  };
  // The tokens of a reply; parsing stops (with a token of type 0) where a token
  // of a kind it does not read begins.
  static std::vector<Token> Parse(const std::string& p) {
    std::vector<Token> out;
    size_t at = 0;
    uint8_t columnType = 0;
    auto le = [&](size_t bytes) {
      uint64_t v = 0;
      for (size_t i = bytes; i-- > 0;) v = (v << 8) | static_cast<unsigned char>(p[at + i]);
      at += bytes;
      return v;
    };
    auto text = [&](size_t chars) {
      std::string s;
      for (size_t i = 0; i < chars; ++i) s += p[at + 2 * i];
      at += 2 * chars;
      return s;
    };
    while (at < p.size()) {
      Token t;
      t.type = static_cast<uint8_t>(p[at++]);
      if (t.type == 0xFD || t.type == 0xFE || t.type == 0xFF) {
        if (at + 8 > p.size()) break;
        t.number = static_cast<uint32_t>(le(2));
        le(2);
        t.text = std::to_string(le(4));
      } else if (t.type == 0xAA || t.type == 0xAB) {
        const size_t length = static_cast<size_t>(le(2)), end = at + length;
        t.number = static_cast<uint32_t>(le(4));
        t.state = static_cast<uint8_t>(le(1));
        t.level = static_cast<uint8_t>(le(1));
        t.text = text(static_cast<size_t>(le(2)));
        at = end;
      } else if (t.type == 0xE3) {
        const size_t length = static_cast<size_t>(le(2)), end = at + length;
        t.number = static_cast<uint32_t>(le(1));
        t.text = text(static_cast<size_t>(le(1)));
        t.old = text(static_cast<size_t>(le(1)));
        at = end;
      } else if (t.type == 0xAD) {
        const size_t length = static_cast<size_t>(le(2));
        at += length;
      } else if (t.type == 0xAC) {  // an int output parameter: its value
        le(2);
        at += 2 * static_cast<size_t>(le(1));
        at += 1 + 4;
        if (le(1) != 0x26) break;
        le(1);
        const size_t n = static_cast<size_t>(le(1));
        t.number = static_cast<uint32_t>(le(n));
      } else if (t.type == 0x79) {
        t.number = static_cast<uint32_t>(le(4));
      } else if (t.type == 0x81 && le(2) == 1) {  // one column
        le(4);                                    // user type, flags
        columnType = static_cast<uint8_t>(le(1));
        if (columnType == 0xE7) at += 7;
        else if (columnType == 0xA5) at += 2;
        else if (columnType == 0x63) {
          at += 4 + 5;
          at += 2 * static_cast<size_t>(le(2));  // table name
        }
        else if (columnType == 0x22) {
          at += 4;
          at += 2 * static_cast<size_t>(le(2));
        }
        else break;
        at += 2 * static_cast<size_t>(le(1));  // column name
        t.wireType = columnType;
      } else if (t.type == 0xD1) {
        t.wireType = columnType;
        size_t n = 0;
        if (columnType == 0xE7 || columnType == 0xA5) {
          n = static_cast<size_t>(le(2));
          if (n == 0xFFFF) n = 0;
        } else {
          if (le(1) == 0) n = 0;
          else {
            at += 24;
            n = static_cast<size_t>(le(4));
          }
        }
        if (at + n > p.size()) break;
        t.cell = p.substr(at, n);
        at += n;
      } else {
        out.push_back(Token{});
        break;
      }
      out.push_back(t);
    }
    return out;
  }

  static std::string Ucs2(const std::string& ascii) {
    std::string s;
    for (char c : ascii) {
      s += c;
      s += '\0';
    }
    return s;
  }

 private:
  bool ReadExactly(char* b, size_t n) {
    while (n > 0) {
      const ssize_t r = recv(fd_, b, n, 0);
      if (r <= 0) return false;
      b += r;
      n -= static_cast<size_t>(r);
    }
    return true;
  }
  int fd_ = -1;
};

}  // namespace tds_test
