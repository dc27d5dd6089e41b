#pragma once
// A thin RAII layer over one POSIX UDP socket, plus the wake-up descriptor
// that lets a blocked reader be stopped for shutdown.
#include <cstdint>
#include <span>

#include "platform/peer_address.h"

namespace vorn {

class UdpSocket {
 public:
  UdpSocket() = default;
  ~UdpSocket() { Close(); }
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;
  UdpSocket(UdpSocket&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  UdpSocket& operator=(UdpSocket&& other) noexcept;

  bool Open();
  // Binds to ip (host order, 0 = any) and port (0 = ephemeral).
  bool Bind(uint32_t ip, uint16_t port);
  bool SetNonBlocking();
  void SetBroadcast(bool on);
  void SetBufferSizes(int bytes);
  // Returns the byte count sent or -1.
  int SendTo(PeerAddress to, std::span<const uint8_t> data) const;
  // Returns the byte count received (the datagram's own length, which may
  // exceed the buffer when it was cut), 0 when nothing waits, or -1.
  int RecvFrom(std::span<uint8_t> buffer, PeerAddress& from, bool& truncated) const;
  uint16_t LocalPort() const;
  bool valid() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  void Close();

 private:
  int fd_ = -1;
};

// An eventfd that a reader's select also watches.
class WakeSignal {
 public:
  WakeSignal();
  ~WakeSignal();
  WakeSignal(const WakeSignal&) = delete;
  WakeSignal& operator=(const WakeSignal&) = delete;
  void Raise() const;
  void Clear() const;
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
};

enum class WaitResult { Readable, Woken, TimedOut, Interrupted, Failed };

// Waits until the socket has a datagram, the signal is raised or the time
// runs out.
WaitResult WaitReadable(const UdpSocket& socket, const WakeSignal& wake, int timeout_ms);

}  // namespace vorn
