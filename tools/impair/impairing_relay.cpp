#include "impair/impairing_relay.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/drain.h"

namespace vorn {
namespace {

constexpr auto kRunSlice = std::chrono::milliseconds(500);
constexpr size_t kFirstUpstreamEntry = 2;  // after the listener and the wake-up
constexpr size_t kNoClient = static_cast<size_t>(-1);

int32_t ElapsedMs(int32_t since_ms, int32_t now_ms) {
  return static_cast<int32_t>(static_cast<uint32_t>(now_ms) - static_cast<uint32_t>(since_ms));
}

size_t Index(RelayDirection direction) { return static_cast<size_t>(direction); }

// Seeds the two directions apart, so they do not make the same decisions.
uint64_t DirectionSeed(uint64_t seed, RelayDirection direction) {
  return seed ^ (direction == RelayDirection::ToTarget ? 0x5A17A2C3E1F0B4D6ULL : 0xC3B2A1908F7E6D5CULL);
}

}  // namespace

std::string CheckRelayConfig(const RelayConfig& config) {
  if (!IsLoopbackAddress(config.target.ip) || config.target.port == 0)
    return "the target must be an address in 127.0.0.0/8 with a port";
  if (config.max_clients < 1 || config.max_clients > kMaxRelayClients) return "client limit out of range";
  if (config.max_delayed < 1 || config.max_delayed > kMaxDelayedDatagrams) return "queue limit out of range";
  if (config.idle_seconds < 1 || config.idle_seconds > 86'400) return "idle time out of range";
  if (config.max_hold_ms < 0 || config.max_hold_ms > kMaxDelayMs) return "hold time out of range";
  for (const ImpairmentRates& rates : config.rates)
    if (!AreValidRates(rates)) return "rates must be within 0 to 1, delays within 0 to 60000 ms";
  return {};
}

bool ImpairingRelay::Open(const RelayConfig& config, std::string& error) {
  error = CheckRelayConfig(config);
  if (!error.empty()) return false;
  if (!listener_.Open() || !listener_.Bind(kRelayLoopback, config.listen_port) || !listener_.SetNonBlocking()) {
    error = "cannot listen on 127.0.0.1:" + std::to_string(config.listen_port) + ": " + std::strerror(errno);
    listener_.Close();
    return false;
  }
  config_ = config;
  listen_port_ = listener_.LocalPort();
  clients_ = std::vector<Client>(config.max_clients);
  queue_ = DelayQueue(config.max_delayed);
  for (RelayDirection d : {RelayDirection::ToTarget, RelayDirection::ToClient})
    impairers_[Index(d)] = Impairer(DirectionSeed(config.seed, d), config.rates[Index(d)]);
  poll_fds_.reserve(config.max_clients + kFirstUpstreamEntry);
  poll_clients_.reserve(config.max_clients);
  return true;
}

bool ImpairingRelay::RunOnce(std::chrono::milliseconds timeout) {
  if (stopped_.load(std::memory_order_acquire) || !listener_.valid()) return false;
  int32_t now_ms = clock_.NowMs();
  ExpireIdleClients(now_ms);
  FlushDue(now_ms);
  BuildPollSet();
  int ready = ::poll(poll_fds_.data(), poll_fds_.size(), WaitLimitMs(timeout, now_ms));
  if (ready < 0 && errno != EINTR) return false;
  if (stopped_.load(std::memory_order_acquire)) return false;
  if (ready > 0) {
    if (poll_fds_[0].revents != 0) DrainListener();
    for (size_t i = kFirstUpstreamEntry; i < poll_fds_.size(); ++i)
      if (poll_fds_[i].revents != 0) DrainUpstream(poll_clients_[i - kFirstUpstreamEntry]);
  }
  FlushDue(clock_.NowMs());
  return true;
}

void ImpairingRelay::Run() {
  while (RunOnce(kRunSlice)) {
  }
}

void ImpairingRelay::Stop() {
  stopped_.store(true, std::memory_order_release);
  wake_.Raise();
}

void ImpairingRelay::SetRates(RelayDirection direction, const ImpairmentRates& rates) {
  if (!AreValidRates(rates)) return;
  std::lock_guard lock(shared_mutex_);
  impairers_[Index(direction)].SetRates(rates);
}

RelayCounters ImpairingRelay::Counters() const {
  std::lock_guard lock(shared_mutex_);
  return counters_;
}

void ImpairingRelay::ExpireIdleClients(int32_t now_ms) {
  int32_t idle_ms = config_.idle_seconds * 1000;
  for (size_t i = 0; i < clients_.size(); ++i) {
    Client& client = clients_[i];
    if (!client.address.IsSet() || ElapsedMs(client.last_active_ms, now_ms) < idle_ms) continue;
    queue_.DropClient(i);
    client.upstream.Close();
    client.address = {};
    for (Held& held : client.held) held.in_use = false;
    client_count_.fetch_sub(1, std::memory_order_acq_rel);
  }
}

// Sends the delayed datagrams that are due and the held ones that waited
// long enough for a successor.
void ImpairingRelay::FlushDue(int32_t now_ms) {
  while (const QueuedDatagram* due = queue_.PopDue(now_ms)) SendNow(due->client, due->direction, due->data());
  for (size_t i = 0; i < clients_.size(); ++i) {
    for (RelayDirection d : {RelayDirection::ToTarget, RelayDirection::ToClient}) {
      Held& held = clients_[i].held[Index(d)];
      if (!held.in_use || ElapsedMs(held.since_ms, now_ms) < config_.max_hold_ms) continue;
      held.in_use = false;
      SendNow(i, d, std::span(held.bytes).first(held.length));
    }
  }
}

int ImpairingRelay::WaitLimitMs(std::chrono::milliseconds timeout, int32_t now_ms) const {
  int32_t limit = static_cast<int32_t>(std::clamp<int64_t>(timeout.count(), 0, kMaxDelayMs));
  if (std::optional<int32_t> due = queue_.WaitMs(now_ms)) limit = std::min(limit, *due);
  for (const Client& client : clients_) {
    for (const Held& held : client.held)
      if (held.in_use) limit = std::min(limit, std::max(0, config_.max_hold_ms - ElapsedMs(held.since_ms, now_ms)));
  }
  return limit;
}

void ImpairingRelay::BuildPollSet() {
  poll_fds_.clear();
  poll_clients_.clear();
  poll_fds_.push_back({listener_.fd(), POLLIN, 0});
  poll_fds_.push_back({wake_.fd(), POLLIN, 0});
  for (size_t i = 0; i < clients_.size(); ++i) {
    if (!clients_[i].address.IsSet()) continue;
    poll_fds_.push_back({clients_[i].upstream.fd(), POLLIN, 0});
    poll_clients_.push_back(i);
  }
}

void ImpairingRelay::DrainListener() {
  DrainSocket(listener_, receive_buffer_, [this](auto datagram, PeerAddress from, bool cut) {
    if (cut) {
      std::lock_guard lock(shared_mutex_);
      ++counters_.oversize;
      return;
    }
    size_t client = FindOrAdmit(from);
    if (client == kNoClient) return;
    clients_[client].last_active_ms = clock_.NowMs();
    Impair(client, RelayDirection::ToTarget, datagram);
  });
}

void ImpairingRelay::DrainUpstream(size_t client) {
  DrainSocket(clients_[client].upstream, receive_buffer_, [&](auto datagram, PeerAddress from, bool cut) {
    if (cut || from != config_.target) {
      std::lock_guard lock(shared_mutex_);
      ++(cut ? counters_.oversize : counters_.foreign);
      return;
    }
    Impair(client, RelayDirection::ToClient, datagram);
  });
}

size_t ImpairingRelay::FindOrAdmit(PeerAddress from) {
  size_t free = kNoClient;
  for (size_t i = 0; i < clients_.size(); ++i) {
    if (clients_[i].address == from) return i;
    if (!clients_[i].address.IsSet() && free == kNoClient) free = i;
  }
  Client* client = free == kNoClient ? nullptr : &clients_[free];
  bool opened = client && client->upstream.Open() && client->upstream.Bind(kRelayLoopback, 0) &&
                client->upstream.SetNonBlocking();
  std::lock_guard lock(shared_mutex_);
  if (!opened) {
    if (client) client->upstream.Close();
    ++counters_.clients_refused;
    return kNoClient;
  }
  client->address = from;
  ++counters_.clients_admitted;
  client_count_.fetch_add(1, std::memory_order_acq_rel);
  return free;
}

void ImpairingRelay::Impair(size_t client, RelayDirection direction, std::span<const uint8_t> data) {
  ImpairDecision decision;
  {
    std::lock_guard lock(shared_mutex_);
    DirectionCounters& counters = counters_[direction];
    ++counters.received;
    counters.bytes_received += data.size();
    decision = impairers_[Index(direction)].Decide();
    if (decision.drop) ++counters.dropped;
    if (decision.copies > 1) ++counters.duplicated;
  }
  if (decision.drop) return;
  Held& held = clients_[client].held[Index(direction)];
  if (decision.hold && !held.in_use) {
    held.in_use = true;
    held.since_ms = clock_.NowMs();
    held.length = data.size();
    std::ranges::copy(data, held.bytes.begin());
    std::lock_guard lock(shared_mutex_);
    ++counters_[direction].reordered;
    return;
  }
  Emit(client, direction, data, decision);
}

void ImpairingRelay::Emit(size_t client, RelayDirection direction, std::span<const uint8_t> data,
                          const ImpairDecision& decision) {
  for (int copy = 0; copy < decision.copies; ++copy) Schedule(client, direction, data, decision.delay_ms[copy]);
  // The one held back leaves right after its successor.
  Held& held = clients_[client].held[Index(direction)];
  if (held.in_use) {
    held.in_use = false;
    Schedule(client, direction, std::span(held.bytes).first(held.length), decision.delay_ms[0]);
  }
}

void ImpairingRelay::Schedule(size_t client, RelayDirection direction, std::span<const uint8_t> data,
                              int32_t delay_ms) {
  if (delay_ms <= 0) {
    SendNow(client, direction, data);
    return;
  }
  bool queued = queue_.Push(clock_.NowMs() + delay_ms, client, direction, data);
  std::lock_guard lock(shared_mutex_);
  ++(queued ? counters_[direction].delayed : counters_[direction].queue_full);
}

void ImpairingRelay::SendNow(size_t client, RelayDirection direction, std::span<const uint8_t> data) {
  const Client& to = clients_[client];
  if (!to.address.IsSet()) return;
  int sent = direction == RelayDirection::ToTarget ? to.upstream.SendTo(config_.target, data)
                                                   : listener_.SendTo(to.address, data);
  std::lock_guard lock(shared_mutex_);
  if (sent != static_cast<int>(data.size())) return;
  ++counters_[direction].sent;
  counters_[direction].bytes_sent += data.size();
}

}  // namespace vorn
