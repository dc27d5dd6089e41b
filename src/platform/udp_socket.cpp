#include "platform/udp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

namespace vorn {

namespace {

// Copies per sendmmsg call: a relay has a handful of targets, and a longer
// batch only grows the stack frame.
constexpr size_t kSendBatch = 8;

sockaddr_in ToSockaddr(PeerAddress peer) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(peer.ip);
  sa.sin_port = htons(peer.port);
  return sa;
}

PeerAddress FromSockaddr(const sockaddr_in& sa) { return {ntohl(sa.sin_addr.s_addr), ntohs(sa.sin_port)}; }

// At most kSendBatch targets. The kernel stops a batch at the first copy it
// cannot send; that copy is lost, as a failed sendto would be, and the batch
// goes on behind it.
void SendBatch(int fd, std::span<const PeerAddress> targets, std::span<const uint8_t> head,
               std::span<const uint8_t> body, std::span<int> results) {
  // The kernel only reads through these pointers.
  std::array<iovec, 2> parts{
      {{const_cast<uint8_t*>(head.data()), head.size()}, {const_cast<uint8_t*>(body.data()), body.size()}}};
  std::array<sockaddr_in, kSendBatch> addresses;
  std::array<mmsghdr, kSendBatch> messages;
  for (size_t i = 0; i < targets.size(); ++i) {
    addresses[i] = ToSockaddr(targets[i]);
    messages[i] = {};
    messages[i].msg_hdr.msg_name = &addresses[i];
    messages[i].msg_hdr.msg_namelen = sizeof(sockaddr_in);
    messages[i].msg_hdr.msg_iov = parts.data();
    messages[i].msg_hdr.msg_iovlen = parts.size();
  }
  size_t next = 0;
  while (next < targets.size()) {
    int sent = ::sendmmsg(fd, messages.data() + next, static_cast<unsigned>(targets.size() - next), MSG_NOSIGNAL);
    if (sent <= 0) {
      results[next++] = -1;
      continue;
    }
    for (size_t end = next + static_cast<size_t>(sent); next < end; ++next)
      results[next] = static_cast<int>(messages[next].msg_len);
  }
}

}  // namespace

struct ReceiveBatch::Descriptors {
  std::array<iovec, kCapacity> parts{};
  std::array<sockaddr_in, kCapacity> sources{};
  std::array<mmsghdr, kCapacity> messages{};
};

UdpSocket& UdpSocket::operator=(UdpSocket&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

bool UdpSocket::Open() {
  Close();
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  return fd_ >= 0;
}

bool UdpSocket::Bind(uint32_t ip, uint16_t port) {
  sockaddr_in sa = ToSockaddr({ip, port});
  return ::bind(fd_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
}

bool UdpSocket::SetNonBlocking() {
  int flags = ::fcntl(fd_, F_GETFL, 0);
  return flags >= 0 && ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK) == 0;
}

void UdpSocket::SetBroadcast(bool on) {
  int value = on ? 1 : 0;
  ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &value, sizeof value);
}

void UdpSocket::SetBufferSizes(int bytes) {
  ::setsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
  ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

int UdpSocket::SendTo(PeerAddress to, std::span<const uint8_t> data) const {
  if (fd_ < 0) return -1;
  sockaddr_in sa = ToSockaddr(to);
  ssize_t sent =
      ::sendto(fd_, data.data(), data.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
  return static_cast<int>(sent);
}

void UdpSocket::SendToEach(std::span<const PeerAddress> targets, std::span<const uint8_t> head,
                           std::span<const uint8_t> body, std::span<int> results) const {
  const size_t count = std::min(targets.size(), results.size());
  if (fd_ < 0) {
    std::fill_n(results.begin(), count, -1);
    return;
  }
  for (size_t first = 0; first < count; first += kSendBatch) {
    const size_t batch = std::min(kSendBatch, count - first);
    SendBatch(fd_, targets.subspan(first, batch), head, body, results.subspan(first, batch));
  }
}

int UdpSocket::RecvFrom(std::span<uint8_t> buffer, PeerAddress& from, bool& truncated) const {
  sockaddr_in sa{};
  socklen_t sa_len = sizeof sa;
  ssize_t got = ::recvfrom(fd_, buffer.data(), buffer.size(), MSG_TRUNC, reinterpret_cast<sockaddr*>(&sa), &sa_len);
  if (got < 0) return (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : -1;
  from = FromSockaddr(sa);
  truncated = static_cast<size_t>(got) > buffer.size();
  return static_cast<int>(got);
}

int UdpSocket::RecvBatch(ReceiveBatch& batch) const {
  batch.count_ = 0;
  if (fd_ < 0) return -1;
  ReceiveBatch::Descriptors& d = *batch.descriptors_;
  // The kernel shortens the name lengths and sets the flags of what it fills.
  for (mmsghdr& message : d.messages) {
    message.msg_hdr.msg_namelen = sizeof(sockaddr_in);
    message.msg_hdr.msg_flags = 0;
  }
  int got = ::recvmmsg(fd_, d.messages.data(), static_cast<unsigned>(d.messages.size()), MSG_DONTWAIT, nullptr);
  if (got < 0) return (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : -1;
  batch.count_ = static_cast<size_t>(got);
  return got;
}

ReceiveBatch::ReceiveBatch() : descriptors_(std::make_unique<Descriptors>()) {
  Descriptors& d = *descriptors_;
  for (size_t i = 0; i < kCapacity; ++i) {
    d.parts[i] = {buffers_[i].data(), buffers_[i].size()};
    d.messages[i].msg_hdr.msg_name = &d.sources[i];
    d.messages[i].msg_hdr.msg_iov = &d.parts[i];
    d.messages[i].msg_hdr.msg_iovlen = 1;
  }
}

ReceiveBatch::~ReceiveBatch() = default;

std::span<const uint8_t> ReceiveBatch::Datagram(size_t i) const {
  return std::span<const uint8_t>(buffers_[i]).first(std::min<size_t>(descriptors_->messages[i].msg_len, kBufferBytes));
}

PeerAddress ReceiveBatch::From(size_t i) const {
  const mmsghdr& message = descriptors_->messages[i];
  if (message.msg_hdr.msg_namelen < sizeof(sockaddr_in)) return {};
  return FromSockaddr(descriptors_->sources[i]);
}

bool ReceiveBatch::Truncated(size_t i) const { return (descriptors_->messages[i].msg_hdr.msg_flags & MSG_TRUNC) != 0; }

uint16_t UdpSocket::LocalPort() const {
  sockaddr_in sa{};
  socklen_t sa_len = sizeof sa;
  if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &sa_len) != 0) return 0;
  return ntohs(sa.sin_port);
}

void UdpSocket::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

WakeSignal::WakeSignal() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

WakeSignal::~WakeSignal() {
  if (fd_ >= 0) ::close(fd_);
}

void WakeSignal::Raise() const {
  uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(fd_, &one, sizeof one);
}

void WakeSignal::Clear() const {
  uint64_t value = 0;
  [[maybe_unused]] ssize_t n = ::read(fd_, &value, sizeof value);
}

WaitResult WaitReadable(const UdpSocket& socket, const WakeSignal& wake, int timeout_ms) {
  std::array<pollfd, 2> watched{{{socket.fd(), POLLIN, 0}, {wake.fd(), POLLIN, 0}}};
  int n = ::poll(watched.data(), watched.size(), timeout_ms);
  if (n < 0) return errno == EINTR ? WaitResult::Interrupted : WaitResult::Failed;
  if (n == 0) return WaitResult::TimedOut;
  if (watched[1].revents != 0) return WaitResult::Woken;
  return WaitResult::Readable;
}

}  // namespace vorn
