#pragma once
// One client socket of the TDS listener: whole messages in (one or more packets
// up to the end-of-message bit), whole messages out (cut into packets).
#include <chrono>
#include <cstdint>
#include <string>

namespace vx::tds {

enum PacketType : uint8_t {
  kSqlBatch = 1,
  kRpc = 3,
  kReply = 4,
  kAttention = 6,
  kLogin7 = 16,
  kPrelogin = 18,
};

class TdsSocket {
 public:
  explicit TdsSocket(int fd);
  ~TdsSocket();
  TdsSocket(const TdsSocket&) = delete;
  TdsSocket& operator=(const TdsSocket&) = delete;

  // Reads one message; false when the peer closed the socket or sent garbage.
  bool Read(uint8_t& type, std::string& payload);
  // Writes one message as packets of the negotiated size; false when the peer is gone.
  bool Write(uint8_t type, const std::string& payload);
  // Writes the whole packets `buffer` fills and keeps the rest; `last` writes the
  // rest too, ending the message. False when the peer is gone.
  bool Send(uint8_t type, std::string& buffer, bool last);
  // Until login: messages of at most `maxMessage` bytes, and reads give up at `deadline`.
  void LimitBeforeLogin(size_t maxMessage, std::chrono::steady_clock::time_point deadline);
  // After login: the limits of a logged-in client.
  void LoggedIn();
  // True when an attention packet is waiting (it is consumed); never blocks.
  bool TakeWaitingAttention();
  void SetPacketSize(uint32_t size);
  int Fd() const { return fd_; }
  void Close();

 private:
  bool ReadExactly(char* buffer, size_t size);
  int fd_;
  uint32_t packetSize_ = 4096;
  uint8_t packetId_ = 1;
  size_t maxMessage_;
  bool hasDeadline_ = false;
  std::chrono::steady_clock::time_point deadline_{};
};

}  // namespace vx::tds
