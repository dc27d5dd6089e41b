#include "links/game_traffic.h"

#include <poll.h>

#include <algorithm>
#include <thread>

#include "ipx/dosbox_packet.h"

namespace vorn::gamebench {
namespace {

using Steady = std::chrono::steady_clock;
constexpr uint32_t kLoopback = 0x7F000001;
constexpr IpxSocket kGameSocket = {0x5A, 0x17};
constexpr size_t kFrameData = 64;  // a small game's frame
constexpr std::array<uint8_t, 4> kMagic = {'V', 'G', 'L', 'B'};
constexpr int kRegisterAttempts = 5;

// What a frame carries after the magic: sender, target, frame number and
// the send time in nanoseconds of the steady clock.
struct Stamp {
  uint8_t sender = 0;
  uint8_t target = 0;
  uint32_t number = 0;
  int64_t sent_ns = 0;
};

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Steady::now().time_since_epoch()).count();
}

void PutBigEndian(uint8_t* out, uint64_t value, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(value >> (8 * (bytes - 1 - i)));
}

uint64_t GetBigEndian(const uint8_t* in, size_t bytes) {
  uint64_t value = 0;
  for (size_t i = 0; i < bytes; ++i) value = value << 8 | in[i];
  return value;
}

std::array<uint8_t, kFrameData> EncodeStamp(const Stamp& stamp) {
  std::array<uint8_t, kFrameData> data{};
  std::ranges::copy(kMagic, data.begin());
  data[4] = stamp.sender;
  data[5] = stamp.target;
  PutBigEndian(&data[6], stamp.number, 4);
  PutBigEndian(&data[10], static_cast<uint64_t>(stamp.sent_ns), 8);
  return data;
}

std::optional<Stamp> DecodeStamp(std::span<const uint8_t> data) {
  if (data.size() < kFrameData || !std::equal(kMagic.begin(), kMagic.end(), data.begin())) return std::nullopt;
  Stamp stamp{data[4], data[5], static_cast<uint32_t>(GetBigEndian(&data[6], 4)),
              static_cast<int64_t>(GetBigEndian(&data[10], 8))};
  if (stamp.sender >= kPlayers) return std::nullopt;
  return stamp;
}

// ppoll's wait, which a frame's schedule needs finer than milliseconds.
timespec Timeout(Steady::duration wait) {
  const auto ns = std::max<int64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count(), 0);
  return {static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

double Percentile(std::vector<double>& values, double share) {
  if (values.empty()) return 0;
  auto at = values.begin() + static_cast<std::ptrdiff_t>(share * static_cast<double>(values.size() - 1));
  std::nth_element(values.begin(), at, values.end());
  return *at;
}

std::optional<PeerAddress> AskForNode(const UdpSocket& socket, PeerAddress driver) {
  std::array<uint8_t, kIpxHeaderSize> request{};
  IpxHeader header;
  header.destination_socket = header.source_socket = kIpxTunnelSocket;
  size_t size = BuildIpxPacket(request, header, {});
  socket.SendTo(driver, std::span(request).first(size));
  pollfd p{socket.fd(), POLLIN, 0};
  std::array<uint8_t, 2048> buffer{};
  while (::poll(&p, 1, 1000) > 0) {
    PeerAddress from;
    bool cut = false;
    int n = socket.RecvFrom(buffer, from, cut);
    if (n <= 0 || cut || from != driver) continue;
    auto reply = ParseIpxPacket(std::span(buffer).first(static_cast<size_t>(n)));
    if (reply && reply->header.source_socket == kIpxTunnelSocket) return reply->header.destination_node;
  }
  return std::nullopt;
}

}  // namespace

bool GameTraffic::Register(const std::array<uint16_t, kPlayers>& driver_ports, std::string& error) {
  for (size_t i = 0; i < kPlayers; ++i) {
    Client& client = clients_[i];
    if (!client.socket.Open() || !client.socket.Bind(kLoopback, 0) || !client.socket.SetNonBlocking()) {
      error = "cannot open a socket for the game of player " + std::to_string(i);
      return false;
    }
    client.driver = {kLoopback, driver_ports[i]};
    std::optional<PeerAddress> node;
    for (int attempt = 0; attempt < kRegisterAttempts && !node; ++attempt)
      node = AskForNode(client.socket, client.driver);
    if (!node) {
      error = "the DOSBox driver of player " + std::to_string(i) + " did not answer the registration";
      return false;
    }
    client.node = *node;
  }
  return true;
}

void GameTraffic::Send(size_t sender, uint8_t target, bool counted) {
  Client& client = clients_[sender];
  auto number = static_cast<uint32_t>(sent_[sender].size());
  sent_[sender].push_back({target, counted});
  IpxHeader header;
  header.packet_type = 4;
  header.destination_node = target == kBroadcastTarget ? kIpxBroadcastNode : client.peers[target];
  header.destination_socket = header.source_socket = kGameSocket;
  header.source_node = client.node;
  auto data = EncodeStamp({static_cast<uint8_t>(sender), target, number, NowNs()});
  std::array<uint8_t, kIpxHeaderSize + kFrameData> packet{};
  size_t size = BuildIpxPacket(packet, header, data);
  client.socket.SendTo(client.driver, std::span(packet).first(size));
}

void GameTraffic::ReceiveWaiting(size_t receiver, double hop_delay_ms) {
  Client& client = clients_[receiver];
  std::array<uint8_t, 2048> buffer{};
  PeerAddress from;
  bool cut = false;
  for (int n; (n = client.socket.RecvFrom(buffer, from, cut)) > 0;) {
    if (cut || from != client.driver) continue;
    auto packet = ParseIpxPacket(std::span(buffer).first(static_cast<size_t>(n)));
    auto stamp = packet ? DecodeStamp(packet->data) : std::nullopt;
    if (!stamp || stamp->sender == receiver) continue;
    client.peers[stamp->sender] = packet->header.source_node;
    Note(receiver, stamp->sender, stamp->number, stamp->sent_ns, hop_delay_ms);
  }
}

void GameTraffic::Note(size_t receiver, size_t sender, uint32_t number, int64_t sent_ns, double hop_delay_ms) {
  if (number >= sent_[sender].size()) return;  // not a frame of this run
  std::vector<uint8_t>& seen = arrivals_[receiver][sender];
  if (seen.size() <= number) seen.resize(sent_[sender].size());
  const SentFrame& frame = sent_[sender][number];
  bool first = seen[number] == 0;
  seen[number] = static_cast<uint8_t>(std::min(seen[number] + 1, 255));
  if (!frame.counted) return;
  if (!first) {
    ++figures_.repeats;
    return;
  }
  if (frame.target != kBroadcastTarget && frame.target != receiver) {
    ++figures_.misdirected;
    return;
  }
  ++figures_.delivered;
  if (frame.target == kBroadcastTarget) ++figures_.broadcasts_delivered;
  int hops = (sender != 0) + (receiver != 0);
  double added = static_cast<double>(NowNs() - sent_ns) / 1e6 - hops * hop_delay_ms;
  if (added > kLateMs) ++figures_.late;
  added_ms_.push_back(added);
}

void GameTraffic::Tick(size_t sender, int64_t tick, bool counted, int directed_every) {
  Send(sender, kBroadcastTarget, counted);
  if (tick % directed_every != 0) return;
  // The other players in turn, each once its node is known.
  const auto turn = static_cast<size_t>(tick / directed_every) % (kPlayers - 1);
  const auto target = static_cast<uint8_t>((sender + 1 + turn) % kPlayers);
  if (clients_[sender].peers[target].IsSet()) Send(sender, target, counted);
}

TrafficFigures GameTraffic::Play(const TrafficPlan& plan, const std::function<void()>& on_measuring) {
  const auto period = std::chrono::nanoseconds(std::chrono::seconds(1)) / plan.ticks_per_second;
  const auto warmup_ticks = static_cast<int64_t>(plan.warmup / period);
  const auto total_ticks = warmup_ticks + static_cast<int64_t>(plan.measured / period);
  const Steady::time_point start = Steady::now() + std::chrono::milliseconds(50);
  // The four games tick a quarter period apart, as unsynchronised machines.
  const int64_t slots = total_ticks * static_cast<int64_t>(kPlayers);
  std::array<pollfd, kPlayers> fds{};
  for (size_t i = 0; i < kPlayers; ++i) fds[i] = {clients_[i].socket.fd(), POLLIN, 0};
  added_ms_.reserve(static_cast<size_t>(total_ticks) * kPlayers * kPlayers);
  const Steady::time_point end = start + period * total_ticks + plan.drain;
  for (int64_t slot = 0; Steady::now() < end;) {
    Steady::time_point due = slot < slots ? start + period * slot / static_cast<int64_t>(kPlayers) : end;
    const timespec timeout = Timeout(due - Steady::now());
    if (::ppoll(fds.data(), fds.size(), &timeout, nullptr) > 0)
      for (size_t i = 0; i < kPlayers; ++i)
        if (fds[i].revents != 0) ReceiveWaiting(i, plan.hop_delay_ms);
    if (slot >= slots || Steady::now() < due) continue;
    const size_t sender = static_cast<size_t>(slot % static_cast<int64_t>(kPlayers));
    const int64_t tick = slot / static_cast<int64_t>(kPlayers);
    const bool counted = tick >= warmup_ticks;
    if (counted && tick == warmup_ticks && sender == 0 && on_measuring) on_measuring();
    Tick(sender, tick, counted, plan.directed_every);
    ++slot;
  }
  return Figures();
}

TrafficFigures GameTraffic::Figures() {
  TrafficFigures figures = figures_;
  for (const auto& frames : sent_) {
    for (const SentFrame& frame : frames) {
      if (!frame.counted) continue;
      ++figures.frames_sent;
      bool broadcast = frame.target == kBroadcastTarget;
      figures.expected += broadcast ? kPlayers - 1 : 1;
      if (broadcast) figures.broadcasts_expected += kPlayers - 1;
    }
  }
  figures.added_p50_ms = Percentile(added_ms_, 0.50);
  figures.added_p99_ms = Percentile(added_ms_, 0.99);
  return figures;
}

}  // namespace vorn::gamebench
