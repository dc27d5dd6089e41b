#include "platform/udp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/eventfd.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace vorn {

namespace {

sockaddr_in ToSockaddr(PeerAddress peer) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(peer.ip);
  sa.sin_port = htons(peer.port);
  return sa;
}

}  // namespace

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
  ssize_t sent = ::sendto(fd_, data.data(), data.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
  return static_cast<int>(sent);
}

int UdpSocket::RecvFrom(std::span<uint8_t> buffer, PeerAddress& from, bool& truncated) const {
  sockaddr_in sa{};
  socklen_t sa_len = sizeof sa;
  ssize_t got = ::recvfrom(fd_, buffer.data(), buffer.size(), MSG_TRUNC, reinterpret_cast<sockaddr*>(&sa), &sa_len);
  if (got < 0) return (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : -1;
  from = {ntohl(sa.sin_addr.s_addr), ntohs(sa.sin_port)};
  truncated = static_cast<size_t>(got) > buffer.size();
  return static_cast<int>(got);
}

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
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(socket.fd(), &readable);
  FD_SET(wake.fd(), &readable);
  int top = socket.fd() > wake.fd() ? socket.fd() : wake.fd();
  timeval tv{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  int n = ::select(top + 1, &readable, nullptr, nullptr, &tv);
  if (n < 0) return errno == EINTR ? WaitResult::Interrupted : WaitResult::Failed;
  if (n == 0) return WaitResult::TimedOut;
  if (FD_ISSET(wake.fd(), &readable)) return WaitResult::Woken;
  return WaitResult::Readable;
}

}  // namespace vorn
