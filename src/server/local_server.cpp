// Admission, relay and the switching of local server mode.
#include "server/local_server.h"

#include <cstdio>
#include <utility>

#include "platform/text.h"
#include "settings/server_list.h"

namespace vorn {
namespace {

constexpr size_t kComparedVersionChars = 3;
// Frames from this IPX socket are not echoed to the player who sent them.
constexpr IpxSocket kNoEchoSocket = {0x68, 0x46};
constexpr size_t kSourceSocketOffset = 11;

PlayerNote NoteOf(const HelloRecord& hello, PeerAddress sender) {
  PlayerNote note{sender, {}};
  StoreFieldText(note.nickname, hello.nickname, kNicknameField - 1);
  return note;
}

}  // namespace

LocalServer::LocalServer(const LocalServerPorts& ports, GameInfoQuery query_game_info)
    : ports_(ports), query_game_info_(std::move(query_game_info)) {}

LocalServer::~LocalServer() {
  // The loop may outlive this object; its tick must not.
  if (tick_timer_) ports_.ui.KillTimer(*tick_timer_);
}

void LocalServer::RegisterHandlers(Dispatcher& dispatcher) {
  using Handler = void (LocalServer::*)(std::span<const uint8_t>, PeerAddress);
  const std::array<std::pair<char, Handler>, 8> handlers = {{
      {kTypeHello, &LocalServer::OnHello},
      {kTypeBye, &LocalServer::OnBye},
      {kTypeBroadcastFrame, &LocalServer::OnBroadcastFrame},
      {kTypePingReply, &LocalServer::OnPingReply},
      {kTypePlayerListRequest, &LocalServer::OnPlayerListRequest},
      {kTypeNamesRequest, &LocalServer::OnNamesRequest},
      {kTypePlayerInfoRequest, &LocalServer::OnPlayerInfoRequest},
      {kTypeMotdRequest, &LocalServer::OnMotdRequest},
  }};
  dispatcher.SetProxiedClients(this);
  for (const auto& entry : handlers) {
    Handler handler = entry.second;
    dispatcher.SetHandler(entry.first, [this, handler](std::span<const uint8_t> datagram, PeerAddress sender) {
      (this->*handler)(datagram, sender);
    });
  }
}

bool LocalServer::StartLocalServer() {
  ports_.connector.DisconnectFromServer();
  ports_.messages.Append("\r\nStarting Local Server Mode...", MessageClass::Action);
  if (tick_timer_) ports_.ui.KillTimer(*tick_timer_);  // never two ticks
  tick_timer_ = ports_.ui.StartTimer(kTickPeriodMs, [this] { ServerTick(); });
  {
    ClientTable::Locked table = table_.Lock();
    for (int index = 0; index < kClientCount; ++index) table.ClearClient(index);
  }
  // The greeting reaches this node's own OnHello, which admits the local
  // player into entry 0.
  SetServing(true);
  const PeerAddress local = ports_.addresses.local.Load();
  const ServerEntry self{"Local", Format("%s:%d", FormatIp(local.ip).c_str(), int{local.port})};
  ports_.connector.ConnectToServer(self);
  mode_.store(true, std::memory_order_release);
  return true;
}

void LocalServer::StopLocalServer() {
  ports_.messages.Append("\r\nStopping Local Server Mode\r\n", MessageClass::Action);
  ports_.addresses.server.Clear();
  if (tick_timer_) ports_.ui.KillTimer(*tick_timer_);
  tick_timer_.reset();
  SetServing(false);
  mode_.store(false, std::memory_order_release);
}

void LocalServer::OnHello(std::span<const uint8_t> datagram, PeerAddress sender) { Greet(datagram, sender, {}); }

bool LocalServer::AcceptWrap(std::span<const uint8_t> datagram, PeerAddress client, PeerAddress via) {
  if (!IsLocalServerMode()) return false;
  if (datagram[kTypeOffset] == kTypeHello) {
    Greet(datagram, client, via);
    return false;
  }
  ClientTable::Locked table = table_.Lock();
  const int index = table.IndexOf(client);
  return index >= 0 && table[index].via == via;
}

void LocalServer::Greet(std::span<const uint8_t> datagram, PeerAddress sender, PeerAddress via) {
  if (!IsServing()) return;
  ports_.messages.Append("Hello!\r\n", MessageClass::Server);
  const std::optional<HelloRecord> hello = ParseHello(datagram);
  if (!hello || !sender.IsSet()) return;  // no address to answer or to admit
  if (RefuseVersion(*hello, sender)) return;

  TimeoutNotices notices;
  const char answer = AdmitClient(*hello, sender, via, notices);
  if (answer == 0) return;
  // The host hears of it before the player does.
  if (answer == kTypeRejectedFull) {
    ports_.messages.Append("Warning!  Server is out of connections!\n", MessageClass::Server);
    Refused(*hello, sender, "server full");
    SendFrameOnly(sender, kTypeRejectedFull);
  } else if (answer == kTypeRejectedNickname) {
    std::fputs("Connection rejected: invalid nickname.\r\n", stdout);
    std::fflush(stdout);
    Refused(*hello, sender, "nickname in use");
    SendFrameOnly(sender, kTypeRejectedNickname);
  } else {
    notices.AppendTo(ports_.messages, events_);
    if (events_ != nullptr) events_->OnPlayerJoined(NoteOf(*hello, sender));
    // The client learns the address under which this server sees it.
    std::array<uint8_t, kAddressMessageSize> accepted{};
    Send(sender, std::span(accepted).first(BuildAddressMessage(accepted, kTypeAccepted, sender)));
  }
}

char LocalServer::AdmitClient(const HelloRecord& hello, PeerAddress sender, PeerAddress via, TimeoutNotices& notices) {
  const std::string_view nickname = Truncate(hello.nickname, kNicknameField - 1);
  // Nobody could address a player without a name in chat or queries.
  if (nickname.empty()) return kTypeRejectedNickname;
  ClientTable::Locked table = table_.Lock();
  // Greeting again through another way would hand a player to a stranger.
  if (const int held = table.IndexOf(sender); via.IsSet() && held >= 0 && table[held].via != via) return 0;
  const int64_t now_s = ports_.clock.NowSeconds();
  const int index = table.AllocateClient(sender, now_s);
  if (index < 0) return kTypeRejectedFull;
  if (NicknameHeldElsewhere(table, index, nickname)) {
    table.ClearClient(index);
    return kTypeRejectedNickname;
  }
  SweepTimeouts(table, notices);
  ClientEntry& entry = table[index];
  entry.via = via;
  entry.last_seen_s = now_s;
  entry.connected_since_s = now_s;
  StoreFieldText(entry.nickname, nickname, kNicknameField - 1);
  StoreFieldText(entry.real_name, hello.real_name, kRealNameField);
  StoreFieldText(entry.email, hello.email, kEmailField);
  return kTypeAccepted;
}

bool LocalServer::NicknameHeldElsewhere(const ClientTable::Locked& table, int taken, std::string_view nickname) {
  // Only entries in use count: an entry given up by a client that greets
  // again still holds its old nickname and must not refuse that client.
  for (int index = 0; index < kClientCount; ++index) {
    const ClientEntry& entry = table.entries()[static_cast<size_t>(index)];
    if (entry.InUse() && entry.Nickname() == nickname) return index != taken;
  }
  return false;
}

void LocalServer::Refused(const HelloRecord& hello, PeerAddress sender, std::string_view why) const {
  if (events_ != nullptr) events_->OnPlayerRefused(NoteOf(hello, sender), why);
}

bool LocalServer::RefuseVersion(const HelloRecord& hello, PeerAddress sender) {
  const std::string_view version = hello.version;
  if (version.substr(0, kComparedVersionChars) == kProtocolVersion.substr(0, kComparedVersionChars)) return false;
  std::array<char, kVersionField + 1> theirs{};
  StoreFieldText(theirs, version, kVersionField);
  std::array<char, 80> line{};
  std::snprintf(line.data(), line.size(), "Rejected connection. Version mismatch: %3.3s <> %3.3s\r\n",
                kProtocolVersion.data(), theirs.data());
  ports_.messages.Append(line.data(), MessageClass::Server);
  std::snprintf(line.data(), line.size(), "version %s differs from %3.3s", theirs.data(), kProtocolVersion.data());
  Refused(hello, sender, line.data());
  SendFrameOnly(sender, kTypeRejectedVersion);
  return true;
}

void LocalServer::OnBye(std::span<const uint8_t>, PeerAddress sender) {
  std::optional<PlayerNote> left;
  {
    ClientTable::Locked table = table_.Lock();
    const int index = table.IndexOf(sender);
    if (index >= 0) left = PlayerNote{sender, table[index].nickname};
    table.ClearClient(index);
  }
  ports_.messages.Append("Bye!\r\n", MessageClass::Server);
  if (left && events_ != nullptr) events_->OnPlayerLeft(*left, LeaveReason::kBye);
  SendFrameOnly(sender, kTypeByeAcknowledged);
}

void LocalServer::OnBroadcastFrame(std::span<const uint8_t> datagram, PeerAddress sender) {
  if (!IsServing()) return;
  std::array<PeerAddress, kClientCount> targets{};
  const size_t target_count = RelayTargets(datagram, sender, targets);
  if (target_count == 0) return;
  // Every player gets the same wrap: the frame, now directed, naming its
  // sender. Only the two headers are written; the rest of the frame leaves
  // straight from the receive buffer, and all copies leave together; then
  // each player whose link is protected gets its second datagram.
  std::array<uint8_t, kWrapHeaderSize + kFrameSize> head;
  if (BuildProxyWrap(head, {sender, datagram.first(kFrameSize)}) != head.size()) return;
  head[kWrapHeaderSize + kTypeOffset] = static_cast<uint8_t>(kTypeGameFrame);
  const std::span<const PeerAddress> all = std::span(targets).first(target_count);
  ports_.endpoint.SendCopies(all, head, datagram.subspan(kFrameSize));
  if (links_ != nullptr) SendSeconds(all, head, datagram.subspan(kFrameSize));
}

// Each parity covers its own link's datagram before this one; the plain
// copies leave together, as the first round did.
void LocalServer::SendSeconds(std::span<const PeerAddress> targets, std::span<const uint8_t> head,
                              std::span<const uint8_t> body) {
  std::array<PeerAddress, kClientCount> copies{};
  size_t copy_count = 0;
  std::array<uint8_t, kMaxParitySize> parity;
  for (PeerAddress target : targets) {
    size_t parity_size = 0;
    const LinkMonitor::Second second = links_->SecondFor(target, head, body, parity, parity_size);
    if (second == LinkMonitor::Second::kCopy && copy_count < copies.size()) copies[copy_count++] = target;
    if (second == LinkMonitor::Second::kParity) Send(target, std::span(parity).first(parity_size));
  }
  if (copy_count > 0) ports_.endpoint.SendCopies(std::span(copies).first(copy_count), head, body);
}

size_t LocalServer::RelayTargets(std::span<const uint8_t> datagram, PeerAddress sender,
                                 std::array<PeerAddress, kClientCount>& targets) {
  ClientTable::Locked table = table_.Lock();
  const int from = table.FindClient(sender, ports_.clock.NowSeconds());
  if (from < 0) return 0;  // only players may broadcast
  if (links_ != nullptr) links_->NoteReceived(sender);
  // A repeat (a protected copy, a network duplicate) was relayed already; a
  // frame merely late is relayed as any other.
  if (table[from].broadcasts.Record(GameFrameSequence(datagram)) == RecentSequences::Verdict::kRepeat) return 0;
  const bool no_echo =
      datagram[kSourceSocketOffset] == kNoEchoSocket[0] && datagram[kSourceSocketOffset + 1] == kNoEchoSocket[1];
  size_t count = 0;
  for (int index = 0; index < kClientCount; ++index) {
    const ClientEntry& entry = table[index];
    if (entry.InUse() && !(index == from && no_echo)) targets[count++] = entry.address;
  }
  ++table[from].frames_relayed;
  table[from].bytes_relayed += (kWrapHeaderSize + datagram.size()) * count;
  return count;
}

void LocalServer::SendFrameOnly(PeerAddress to, char type) const {
  std::array<uint8_t, kFrameSize> frame{};
  Send(to, std::span(frame).first(BuildFrameOnly(frame, type)));
}

void LocalServer::Send(PeerAddress to, std::span<const uint8_t> datagram) const {
  if (!datagram.empty()) ports_.endpoint.SendPacket(to, datagram);
}

}  // namespace vorn
