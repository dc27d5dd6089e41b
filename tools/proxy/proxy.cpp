#include "proxy/proxy.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <optional>

#include "common/drain.h"
#include "net/own_address.h"
#include "platform/text.h"

namespace vorn {
namespace {

constexpr auto kRunSlice = std::chrono::milliseconds(1000);
constexpr size_t kFirstUpstreamEntry = 2;  // after the client socket and the wake-up

std::string FormatLogTime(int64_t calendar_seconds) {
  auto seconds = static_cast<time_t>(calendar_seconds);
  tm parts{};
  localtime_r(&seconds, &parts);
  char text[32];
  size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
  return {text, length};
}

// Never "nobody" (0.0.0.0 would reach this machine), nor a group or
// broadcast address: the proxy passes datagrams to one peer at a time.
bool IsForwardable(PeerAddress to) { return to.ip != 0 && to.port != 0 && to.ip < 0xE0000000; }

bool IsHello(std::span<const uint8_t> datagram) {
  return datagram.size() == kFrameSize && ParseFrameOnly(datagram) == kTypeProxyHello;
}

int32_t ElapsedMs(int32_t since_ms, int32_t now_ms) {
  return static_cast<int32_t>(static_cast<uint32_t>(now_ms) - static_cast<uint32_t>(since_ms));
}

}  // namespace

Proxy::Proxy(const Clock& clock, std::ostream& log, std::ostream& errors) : clock_(clock), log_(log), errors_(errors) {}

bool Proxy::Open(const ProxyConfig& config) {
  if (config.idle_seconds < 1 || config.idle_seconds > kMaxIdleSeconds || config.max_clients < 1 ||
      config.max_clients > kMaxProxyClients) {
    errors_ << "idle time or client limit out of range\n" << std::flush;
    return false;
  }
  if (!socket_.Open() || !socket_.Bind(config.bind_ip, config.port) || !socket_.SetNonBlocking()) {
    int error = errno;
    errors_ << "cannot listen on " << FormatPeer({config.bind_ip, config.port}) << ": " << std::strerror(error) << "\n"
            << std::flush;
    socket_.Close();
    return false;
  }
  config_ = config;
  local_ = {config.bind_ip, socket_.LocalPort()};
  // Listening everywhere, the upstream sockets send from the address the
  // route picks; the first interface's is the likeliest.
  upstream_ip_ = config.bind_ip != 0 ? config.bind_ip : FirstInterfaceAddress();
  if (upstream_ip_ == 0) upstream_ip_ = kProxyLoopback;
  clients_ = ProxyClientTable(config.max_clients, config.bind_ip);
  poll_fds_.reserve(config.max_clients + kFirstUpstreamEntry);
  poll_clients_.reserve(config.max_clients);
  return true;
}

uint16_t Proxy::UpstreamPort(PeerAddress client) const {
  const ProxyClient* found = clients_.Find(client);
  return found ? found->upstream.LocalPort() : 0;
}

bool Proxy::RunOnce(std::chrono::milliseconds timeout) {
  if (stopped_.load(std::memory_order_acquire) || !socket_.valid()) return false;
  ExpireIdleClients();
  BuildPollSet();
  int ready = ::poll(poll_fds_.data(), poll_fds_.size(), static_cast<int>(timeout.count()));
  if (ready < 0 && errno != EINTR) {
    errors_ << "waiting for datagrams failed: " << std::strerror(errno) << "\n" << std::flush;
    return false;
  }
  if (ready <= 0 || stopped_.load(std::memory_order_acquire)) return !stopped_.load(std::memory_order_acquire);
  if (poll_fds_[0].revents != 0 && !DrainClientSocket()) return false;
  for (size_t i = kFirstUpstreamEntry; i < poll_fds_.size(); ++i) {
    if (poll_fds_[i].revents != 0) DrainUpstream(*poll_clients_[i - kFirstUpstreamEntry]);
  }
  return !stopped_.load(std::memory_order_acquire);
}

void Proxy::Run() {
  while (RunOnce(kRunSlice)) {
  }
}

void Proxy::Stop() {
  stopped_.store(true, std::memory_order_release);
  wake_.Raise();
}

void Proxy::ExpireIdleClients() {
  int32_t now_ms = clock_.NowMs();
  int32_t idle_ms = config_.idle_seconds * 1000;
  for (ProxyClient& client : clients_.slots()) {
    if (!client.in_use() || ElapsedMs(client.last_active_ms, now_ms) < idle_ms) continue;
    LogLine(client.address, Format("forgotten after %d s without traffic", config_.idle_seconds));
    clients_.Remove(client);
  }
}

void Proxy::BuildPollSet() {
  poll_fds_.clear();
  poll_clients_.clear();
  poll_fds_.push_back({socket_.fd(), POLLIN, 0});
  poll_fds_.push_back({wake_.fd(), POLLIN, 0});
  for (ProxyClient& client : clients_.slots()) {
    if (!client.in_use()) continue;
    poll_fds_.push_back({client.upstream.fd(), POLLIN, 0});
    poll_clients_.push_back(&client);
  }
}

bool Proxy::DrainClientSocket() {
  const bool read = DrainSocket(socket_, receive_buffer_, [this](auto datagram, PeerAddress from, bool cut) {
    if (!cut) HandleClientDatagram(datagram, from);
  });
  if (!read) errors_ << "receiving from clients failed: " << std::strerror(errno) << "\n" << std::flush;
  return read;
}

void Proxy::DrainUpstream(ProxyClient& client) {
  // Room for the wrap in front, so the wrapped answer still fits the buffer.
  std::span<uint8_t> inner = std::span(receive_buffer_).first(kLargestClientDatagram - kWrapHeaderSize);
  // A failing upstream socket only ends this burst; the client's expires.
  DrainSocket(client.upstream, inner, [&](auto datagram, PeerAddress from, bool cut) {
    if (cut) return;
    // A player who only listens is still playing.
    client.last_active_ms = clock_.NowMs();
    size_t size = BuildProxyWrap(send_buffer_, {from, datagram});
    socket_.SendTo(client.address, std::span(send_buffer_).first(size));
  });
}

void Proxy::HandleClientDatagram(std::span<const uint8_t> datagram, PeerAddress from) {
  if (IsHello(datagram)) {
    Welcome(from);
    return;
  }
  std::optional<ProxyWrap> wrap = ParseProxyWrap(datagram);
  if (!wrap || !IsVornFrame(wrap->inner)) return;
  // A client wraps also what it means for the proxy itself; passing that on
  // would only send it back here. Its greeting names the proxy as the
  // client knows it, which behind a relay or a NAT is another address.
  if (IsHello(wrap->inner)) {
    Welcome(from);
    return;
  }
  if (IsOwnAddress(wrap->address)) return;
  if (!IsForwardable(wrap->address)) return;
  // Only for clients that greeted: a stranger's wraps would otherwise have
  // the proxy send anything anywhere, and take a slot and a socket each.
  ProxyClient* client = clients_.Find(from);
  if (!client) return;
  client->last_active_ms = clock_.NowMs();
  client->upstream.SendTo(wrap->address, wrap->inner);
}

void Proxy::Welcome(PeerAddress from) {
  ProxyClient* client = FindOrAdmit(from);
  if (!client) return;
  client->last_active_ms = clock_.NowMs();
  // The client's address is the one its peers see: its upstream socket.
  std::array<uint8_t, kAddressMessageSize> welcome{};
  size_t size = BuildAddressMessage(welcome, kTypeProxyWelcome, {upstream_ip_, client->upstream.LocalPort()});
  socket_.SendTo(from, std::span(welcome).first(size));
  LogLine(from, "hello: welcomed");
}

ProxyClient* Proxy::FindOrAdmit(PeerAddress from) {
  if (ProxyClient* known = clients_.Find(from)) return known;
  if (clients_.full()) {
    if (refused_.Note(from))
      LogLine(from, Format("refused: already serving %zu clients (--max-clients)", clients_.capacity()));
    return nullptr;
  }
  if (SlotsOf(from.ip) >= kMaxSlotsPerAddress) {
    if (refused_.Note(from))
      LogLine(from, Format("refused: %zu clients from this address already", kMaxSlotsPerAddress));
    return nullptr;
  }
  ProxyClient* client = clients_.Add(from, clock_.NowMs());
  if (!client) {
    int error = errno;
    if (refused_.Note(from)) LogLine(from, Format("refused: no upstream socket: %s", std::strerror(error)));
    return nullptr;
  }
  refused_.Forget(from);
  LogLine(from, Format("new client, upstream port %u", client->upstream.LocalPort()));
  return client;
}

size_t Proxy::SlotsOf(uint32_t ip) const {
  size_t count = 0;
  for (const ProxyClient& client : clients_.slots()) count += client.in_use() && client.address.ip == ip ? 1 : 0;
  return count;
}

bool Proxy::IsOwnAddress(PeerAddress address) const {
  return address.port == local_.port && (config_.bind_ip == 0 || address.ip == config_.bind_ip);
}

void Proxy::LogLine(PeerAddress client, const std::string& what) {
  log_ << FormatLogTime(clock_.NowSeconds()) << " " << FormatPeer(client) << " " << what << "\n" << std::flush;
}

}  // namespace vorn
