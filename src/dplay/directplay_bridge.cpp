#include "dplay/directplay_bridge.h"

#include <sys/socket.h>

#include <algorithm>
#include <system_error>
#include <utility>

#include "platform/text.h"

namespace vorn {

namespace {

constexpr std::string_view kBanner = "\r\nDirect Play support for Vorn95 (version 1.0)\r\n";
constexpr std::string_view kNoThread = "VornDPlay: Error creating VornDPlay thread.\r\n";
constexpr std::string_view kAbnormal = "VornDPlay: Abnormal Termination.\r\n";
constexpr std::string_view kUserShutdown = "VornDPlay: User shutdown. Normal termination.\r\n";
constexpr std::string_view kNoListenSocket = "VornDPlay: Cannot open listen socket.\r\n";
constexpr std::string_view kNoListenBind = "VornDPlay: Cannot bind listen address.\r\n";
constexpr std::string_view kNoSendSocket = "VornDPlay: Cannot open sendfd socket\r\n";
constexpr std::string_view kNoSendBind = "VornDPlay: Cannot bind sendfd address.\n";

constexpr int kSocketBufferBytes = 4096;
// Bounds one burst of reading, so a flood cannot delay a stop.
constexpr int kReadsPerWake = 64;

// The local game owns the port the send socket shares with it, and a new
// bridge must be able to bind 8787 while an old socket lingers.
void SetBridgeOptions(UdpSocket& socket) {
  socket.SetBufferSizes(kSocketBufferBytes);
  int reuse = 1;
  ::setsockopt(socket.fd(), SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
}

}  // namespace

std::array<uint8_t, kDirectPlayAnnouncementSize> BuildDirectPlayAnnouncement() {
  std::array<uint8_t, kDirectPlayAnnouncementSize> frame{};
  std::array<uint8_t, kProbeMarker.size()> marker{};
  std::ranges::copy(kProbeMarker, marker.begin());
  BuildGameFrame(frame, GameFrame{kTypeBroadcastFrame, 0, kDirectPlaySocket, kDirectPlaySocket, marker});
  return frame;
}

DirectPlayBridge::DirectPlayBridge(MessageWindow& window, const SharedAddresses& addresses, const UdpEndpoint& endpoint,
                                   Dispatcher& dispatcher, DirectPlayBridgeOptions options)
    : window_(window), addresses_(addresses), endpoint_(endpoint), dispatcher_(dispatcher), options_(options) {}

DirectPlayBridge::~DirectPlayBridge() {
  JoinThread();
  dispatcher_.SetProbeSink(nullptr);
  running_.store(false, std::memory_order_release);
}

bool DirectPlayBridge::StartDirectPlayBridge() {
  if (IsDirectPlayBridgeRunning()) return true;
  JoinThread();  // one that ended on a failure
  Append(kBanner);
  // Bound before the thread starts, so that a running bridge is one that
  // listens and its caller learns of a port that is taken.
  if (!OpenListenSocket(listen_)) return false;
  // Set before the thread exists, so that a thread failing at once cannot
  // have its cleared flag overwritten.
  running_.store(true, std::memory_order_release);
  dispatcher_.SetProbeSink(this);
  try {
    reader_.Start(
        listen_, [this] { ReceiveWaiting(); }, [this] { Abort(); });
  } catch (const std::system_error&) {
    listen_.Close();
    dispatcher_.SetProbeSink(nullptr);
    running_.store(false, std::memory_order_release);
    Append(kNoThread);
    Append(kAbnormal);
    return false;
  }
  return true;
}

void DirectPlayBridge::StopDirectPlayBridge() {
  const bool was_running = IsDirectPlayBridgeRunning();
  JoinThread();  // also collects a thread that ended on a failure
  if (!was_running) return;
  dispatcher_.SetProbeSink(nullptr);
  Append(kUserShutdown);
  running_.store(false, std::memory_order_release);
}

void DirectPlayBridge::JoinThread() {
  if (!reader_.Started()) return;
  reader_.Stop(window_);
  listen_.Close();
  ForgetKeptDatagram();
}

bool DirectPlayBridge::SendKeptDatagram(PeerAddress to) const {
  // Our own announcement comes back to us too; sending to ourselves would
  // hand the datagram to our own listener as if the game had sent it again.
  if (to.ip == addresses_.local.Load().ip) return false;
  std::lock_guard lock(kept_mutex_);
  if (kept_size_ == 0 || !send_socket_.valid()) return false;
  return send_socket_.SendTo({to.ip, options_.port}, std::span<const uint8_t>(kept_.data(), kept_size_)) >= 0;
}

void DirectPlayBridge::OnProbe(std::span<const uint8_t> datagram, PeerAddress source, bool is_answer) {
  if (is_answer) {
    SendKeptDatagram(source);
    return;
  }
  if (datagram.size() < kMinProbeSize || datagram.size() > kMaxDatagram) return;
  // The dispatcher's view is read-only and shared; the answer is a copy.
  std::array<uint8_t, kMaxDatagram> answer;
  std::ranges::copy(datagram, answer.begin());
  std::ranges::copy(kProbeAnswerMarker, answer.begin() + kProbeOffset);
  endpoint_.SendPacket(source, std::span<const uint8_t>(answer.data(), datagram.size()));
}

bool DirectPlayBridge::OpenListenSocket(UdpSocket& listen) const {
  if (!listen.Open()) {
    Append(kNoListenSocket);
    Append(kAbnormal);
    return false;
  }
  SetBridgeOptions(listen);
  // Non-blocking, so that a datagram that select announced but that went
  // away cannot block the thread and with it a stop.
  if (!listen.Bind(options_.bind_ip, options_.port) || !listen.SetNonBlocking()) {
    listen.Close();
    Append(kNoListenBind);
    Append(kAbnormal);
    return false;
  }
  return true;
}

void DirectPlayBridge::ReceiveWaiting() {
  for (int read = 0; read < kReadsPerWake; ++read) {
    PeerAddress from;  // stays unset when nothing waits
    bool truncated = false;
    int got = listen_.RecvFrom(receive_buffer_, from, truncated);
    if (got < 0 || !from.IsSet()) return;
    // Only what the local game sends; a cut datagram is not that datagram.
    if (got == 0 || truncated || from.ip != addresses_.local.Load().ip) continue;
    TakeLocalDatagram(std::span<const uint8_t>(receive_buffer_.data(), static_cast<size_t>(got)), from.port);
  }
}

// Any local process can send here, so nothing it sends may stop the bridge:
// a datagram without a socket to send it from is the only thing lost.
void DirectPlayBridge::TakeLocalDatagram(std::span<const uint8_t> datagram, uint16_t source_port) {
  // The new socket is made ready first and then replaced together with the
  // datagram, so a sender never pairs a datagram with another port's socket.
  UdpSocket fresh;
  if (source_port != send_port_) {
    fresh = OpenSendSocket(source_port);
    if (!fresh.valid()) return;
  }
  {
    std::lock_guard lock(kept_mutex_);
    std::ranges::copy(datagram, kept_.begin());
    kept_size_ = datagram.size();
    if (fresh.valid()) send_socket_ = std::move(fresh);
  }
  send_port_ = source_port;
  Announce();
}

// Sent from the game's port, the other game's answer comes back to ours; a
// game that did not let its port be shared (most do not) gets its datagram
// sent from a port of the bridge's own, whose address its payload can name.
UdpSocket DirectPlayBridge::OpenSendSocket(uint16_t game_port) const {
  UdpSocket fresh;
  if (!fresh.Open()) {
    Append(kNoSendSocket);
    return fresh;
  }
  SetBridgeOptions(fresh);
  Append(Format("VornDPlay: Binding a new socket: %d.\n", static_cast<int>(game_port)));
  if (fresh.Bind(options_.bind_ip, game_port)) return fresh;
  UdpSocket own;
  if (own.Open() && own.Bind(options_.bind_ip, 0)) {
    Append(Format("VornDPlay: Port %d is not shared; sending from port %d.\n", static_cast<int>(game_port),
                  static_cast<int>(own.LocalPort())));
    return own;
  }
  Append(kNoSendBind);
  return UdpSocket();
}

void DirectPlayBridge::Announce() const {
  PeerAddress server = addresses_.server.Load();
  if (!server.IsSet()) return;  // nobody to relay it; never send to address 0
  std::array<uint8_t, kDirectPlayAnnouncementSize> frame = BuildDirectPlayAnnouncement();
  endpoint_.SendPacket(server, frame);
}

// The wait would only fail again, at full speed.
void DirectPlayBridge::Abort() {
  Append(kAbnormal);
  ForgetKeptDatagram();
  dispatcher_.SetProbeSink(nullptr);
  running_.store(false, std::memory_order_release);
}

void DirectPlayBridge::ForgetKeptDatagram() {
  UdpSocket old;
  {
    std::lock_guard lock(kept_mutex_);
    kept_size_ = 0;
    old = std::move(send_socket_);
  }
  send_port_ = 0;
}

void DirectPlayBridge::Append(std::string_view text) const { window_.Append(text, MessageClass::Server); }

}  // namespace vorn
