#pragma once
// A thin RAII layer over one POSIX UDP socket, plus the wake-up descriptor
// that lets a blocked reader be stopped for shutdown.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "platform/peer_address.h"

namespace vorn {

// Room for reading several datagrams with one system call. The kernel's
// descriptors are set up once, here, so that a read costs no more than what
// the kernel fills in. One reader at a time.
class ReceiveBatch {
 public:
  static constexpr size_t kCapacity = 16;
  static constexpr size_t kBufferBytes = 2048;  // a longer datagram is cut

  ReceiveBatch();
  ~ReceiveBatch();
  ReceiveBatch(const ReceiveBatch&) = delete;
  ReceiveBatch& operator=(const ReceiveBatch&) = delete;

  // Datagrams held since the last read.
  size_t size() const { return count_; }
  // The bytes of datagram i that fitted its buffer.
  std::span<const uint8_t> Datagram(size_t i) const;
  PeerAddress From(size_t i) const;
  // Datagram i was longer than its buffer.
  bool Truncated(size_t i) const;

 private:
  friend class UdpSocket;
  struct Descriptors;  // the system's types, kept out of this header

  std::unique_ptr<Descriptors> descriptors_;
  std::array<std::array<uint8_t, kBufferBytes>, kCapacity> buffers_{};
  size_t count_ = 0;
};

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
  // Sends head followed by body as one datagram to every target, with one
  // system call for several targets. results[i] becomes what SendTo would
  // have returned for targets[i]; a failed copy does not stop the others.
  // results must be at least as long as targets.
  void SendToEach(std::span<const PeerAddress> targets, std::span<const uint8_t> head, std::span<const uint8_t> body,
                  std::span<int> results) const;
  // Returns the byte count received (the datagram's own length, which may
  // exceed the buffer when it was cut), 0 when nothing waits, or -1.
  int RecvFrom(std::span<uint8_t> buffer, PeerAddress& from, bool& truncated) const;
  // Reads up to the batch's capacity of waiting datagrams with one system
  // call. Returns the count read (0 when nothing waits) or -1.
  int RecvBatch(ReceiveBatch& batch) const;
  uint16_t LocalPort() const;
  bool valid() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  void Close();

 private:
  int fd_ = -1;
};

// An eventfd that a reader's wait also watches.
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
