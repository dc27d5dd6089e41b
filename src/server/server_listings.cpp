// Liveness (the tick, pings, time-outs) and the answers to queries.
#include <cstdio>

#include "server/local_server.h"
#include "server/player_tables.h"

namespace vorn {
namespace {

// The ping counter runs 1, 2, ..., 9, 0, 1, ...; entry k is pinged when it
// equals k, so each client once every ten seconds.
constexpr int32_t kPingCycle = 10;

}  // namespace

void LocalServer::TimeoutNotices::Add(const ClientEntry& entry) {
  if (count_ >= lines_.size()) return;
  const uint32_t ip = entry.address.ip;
  players_[count_] = {entry.address, entry.nickname};
  std::array<char, 96>& line = lines_[count_++];
  std::snprintf(line.data(), line.size(), "### %s (%u.%u.%u.%u) has been disconnected (ping timeout).\r\n",
                entry.nickname.data(), ip >> 24, (ip >> 16) & 0xFF, (ip >> 8) & 0xFF, ip & 0xFF);
}

void LocalServer::TimeoutNotices::AppendTo(MessageWindow& messages, ServerEvents* events) const {
  for (size_t i = 0; i < count_; ++i) {
    messages.Append(lines_[i].data(), MessageClass::Server);
    if (events != nullptr) events->OnPlayerLeft(players_[i], LeaveReason::kTimeout);
  }
}

void LocalServer::ServerTick() {
  ping_counter_ = (ping_counter_ + 1) % kPingCycle;
  TimeoutNotices notices;
  std::array<uint8_t, kPingSize> ping{};
  size_t ping_size = 0;
  PeerAddress target;
  {
    ClientTable::Locked table = table_.Lock();
    SweepTimeouts(table, notices);
    if (ping_counter_ < kClientCount && table[ping_counter_].InUse()) {
      ClientEntry& entry = table[ping_counter_];
      // The request carries the server's own game, and a time stamp that the
      // reply echoes for the round trip.
      const PingRequest request{table[0].ProcessName(), static_cast<uint32_t>(ports_.clock.NowMs())};
      ping_size = BuildPingRequest(ping, request);
      ++entry.pings_sent;
      target = entry.address;
    }
  }
  notices.AppendTo(ports_.messages, events_);
  Send(target, std::span(ping).first(ping_size));
}

void LocalServer::SweepTimeouts() {
  TimeoutNotices notices;
  {
    ClientTable::Locked table = table_.Lock();
    SweepTimeouts(table, notices);
  }
  notices.AppendTo(ports_.messages, events_);
}

void LocalServer::SweepTimeouts(ClientTable::Locked& table, TimeoutNotices& notices) {
  const int64_t now_s = ports_.clock.NowSeconds();
  // Entry 0 is the server's own player: it never times out.
  for (int index = 1; index < kClientCount; ++index) {
    const ClientEntry& entry = table[index];
    if (!entry.InUse() || entry.last_seen_s >= now_s - kSilenceLimitS) continue;
    notices.Add(entry);
    table.ClearClient(index);
  }
}

void LocalServer::QueryGameInfo() { ShowOwnGame(query_game_info_ ? query_game_info_() : GameInfo{}); }

void LocalServer::ShowOwnGame(const GameInfo& game) {
  ClientTable::Locked table = table_.Lock();
  StoreFieldText(table[0].process_name, game.name, kPingRequestNameField);
}

void LocalServer::OnPingReply(std::span<const uint8_t> datagram, PeerAddress sender) {
  const std::optional<PingReply> reply = ParsePingReply(datagram);
  if (!reply) return;
  const int32_t now_ms = ports_.clock.NowMs();
  ClientTable::Locked table = table_.Lock();
  const int index = table.FindClient(sender, ports_.clock.NowSeconds());
  if (index < 0) return;
  ClientEntry& entry = table[index];
  ++entry.ping_replies;
  // The millisecond clock wraps; the difference stays right across it.
  int32_t round_trip_ms = static_cast<int32_t>(static_cast<uint32_t>(now_ms) - reply->time_stamp_ms);
  if (round_trip_ms < 0) round_trip_ms = 0;
  entry.average_ping_ms = SmoothedPing(entry.average_ping_ms, round_trip_ms);
  StoreFieldText(entry.process_name, reply->game_name, kPingReplyNameField);
  entry.game_socket = IpxSocketNumber(reply->game_socket);
  DecorateProcessName(entry.process_name, entry.game_socket);
}

bool LocalServer::MayAnswer(PeerAddress sender, size_t request_bytes, size_t answer_bytes) {
  if (table_.Lock().IndexOf(sender) >= 0) return true;
  return answers_.Allow(sender, ports_.clock.NowMs(), request_bytes, answer_bytes);
}

void LocalServer::OnPlayerListRequest(std::span<const uint8_t> datagram, PeerAddress sender) {
  QueryGameInfo();
  std::array<uint8_t, kMaxDatagram> reply;
  size_t size = 0;
  {
    ClientTable::Locked table = table_.Lock();
    size = BuildPlayerList(reply, table.entries(), ports_.clock.NowSeconds());
  }
  if (!MayAnswer(sender, datagram.size(), size)) return;
  ports_.messages.Append("Games!\r\n", MessageClass::Server);
  Send(sender, std::span(reply).first(size));
}

void LocalServer::OnNamesRequest(std::span<const uint8_t> datagram, PeerAddress sender) {
  QueryGameInfo();
  std::array<uint8_t, kMaxDatagram> reply;
  size_t size = 0;
  {
    ClientTable::Locked table = table_.Lock();
    size = BuildNamesList(reply, table.entries());
  }
  if (!MayAnswer(sender, datagram.size(), size)) return;
  ports_.messages.Append("Names!\r\n", MessageClass::Server);
  Send(sender, std::span(reply).first(size));
}

void LocalServer::OnPlayerInfoRequest(std::span<const uint8_t> datagram, PeerAddress sender) {
  // The tracker's answer, to sender, is about as long as what goes there.
  if (!MayAnswer(sender, datagram.size(), kForwardedPlayerInfoSize)) return;
  ports_.messages.Append("Who!\r\n", MessageClass::Server);
  // Without a tracker there is nobody to ask; the request is not sent to
  // address 0.
  const PeerAddress tracker = ports_.addresses.tracker.Load();
  if (!tracker.IsSet()) return;
  std::array<uint8_t, kForwardedPlayerInfoSize> forwarded{};
  const size_t size = BuildForwardedPlayerInfo(forwarded, datagram, sender);
  // The tracker answers the asking player directly, at the address given.
  Send({tracker.ip, kTrackerPlayerInfoPort}, std::span(forwarded).first(size));
}

void LocalServer::OnMotdRequest(std::span<const uint8_t> datagram, PeerAddress sender) {
  std::array<uint8_t, 16> reply{};
  const size_t size = BuildText(reply, {kTypeTextLine, "Welcome!"});
  if (MayAnswer(sender, datagram.size(), size)) Send(sender, std::span(reply).first(size));
}

}  // namespace vorn
