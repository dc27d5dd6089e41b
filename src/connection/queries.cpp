#include "connection/queries.h"

#include <array>
#include <string>

#include "connection/server_list_text.h"
#include "net/messages.h"
#include "platform/text.h"

namespace vorn {
namespace {

constexpr std::string_view kPlayerListAnnouncement = "Requesting player list from host...\r\n\r\n";
constexpr std::string_view kMotdAnnouncement = "Requesting message of the day from host...\r\n\r\n";
constexpr std::string_view kPlayerInfoAnnouncement = "Requesting player information from host...\r\n\r\n";
constexpr std::string_view kServerListAnnouncement = "Requesting server list from tracker...\r\n\r\n";
constexpr std::string_view kUpdateAnnouncement = "Updating server list from tracker...\r\n\r\n";
constexpr std::string_view kNoTracker = "Error: no tracker defined in VORN95.INI.\r\n";
constexpr std::string_view kTrackerSilent = "Error: no answer from the tracker; the server list was not updated.\r\n";
constexpr size_t kMaxAddressText = 79;
constexpr uint16_t kServerPort = 2213;
constexpr uint16_t kTrackerAnswerPort = 6666;

}  // namespace

Queries::Queries(UiLoop& ui, MessageWindow& window, SettingsStore& settings, SharedAddresses& addresses,
                 const UdpEndpoint& endpoint)
    : ui_(ui), window_(window), settings_(settings), addresses_(addresses), endpoint_(endpoint) {}

Queries::~Queries() { EndTrackerWait(); }

void Queries::EndTrackerWait() {
  if (tracker_wait_) ui_.KillTimer(*tracker_wait_);
  tracker_wait_.reset();
}

void Queries::SendFrame(PeerAddress to, char type) {
  // Address 0 is nobody: such a request would go to this host's own ports.
  if (!to.IsSet()) return;
  std::array<uint8_t, kFrameSize> frame{};
  size_t size = BuildFrameOnly(frame, type);
  endpoint_.SendPacket(to, std::span<const uint8_t>(frame.data(), size));
}

void Queries::RequestPlayerList() {
  PrintQueryText(kPlayerListAnnouncement, MessageClass::Server);
  SendFrame(addresses_.server.Load(), kTypePlayerListRequest);
}

void Queries::RequestNamesList() {
  PrintQueryText(kPlayerListAnnouncement, MessageClass::Server);
  SendFrame(addresses_.server.Load(), kTypeNamesRequest);
}

void Queries::RequestMotd() {
  PeerAddress server = addresses_.server.Load();
  if (!server.IsSet()) return;
  PrintQueryText(kMotdAnnouncement, MessageClass::Server);
  SendFrame(server, kTypeMotdRequest);
}

void Queries::RequestPlayerInfo(std::string_view nickname) {
  PrintQueryText(kPlayerInfoAnnouncement, MessageClass::Server);
  PeerAddress server = addresses_.server.Load();
  if (!server.IsSet()) return;
  std::array<uint8_t, kPlayerInfoRequestSize> request{};
  size_t size = BuildPlayerInfoRequest(request, {nickname});
  endpoint_.SendPacket(server, std::span<const uint8_t>(request.data(), size));
}

void Queries::QueryServerPlayers(std::string_view name, std::string_view address) {
  address = Truncate(address, kMaxAddressText);
  PeerAddress to = ParseAddressWithPort(address, kServerPort);
  if (!to.IsSet()) return;
  std::string announcement = Format("Requesting player list from %.*s(%.*s)...\r\n\r\n", static_cast<int>(name.size()),
                                    name.data(), static_cast<int>(address.size()), address.data());
  PrintQueryText(announcement, MessageClass::Server);
  queried_servers_[next_queried_.fetch_add(1, std::memory_order_relaxed) % kAwaitedAnswers].Store(to);
  SendFrame(to, kTypePlayerListRequest);
}

bool Queries::AskTracker(std::string_view announcement, char type) {
  PeerAddress tracker = addresses_.tracker.Load();
  if (!tracker.IsSet()) {
    PrintQueryText(kNoTracker, MessageClass::Server);
    return false;
  }
  PrintQueryText(announcement, MessageClass::Server);
  if (awaited_server_lists_.load(std::memory_order_relaxed) < static_cast<int>(kAwaitedAnswers))
    awaited_server_lists_.fetch_add(1, std::memory_order_release);
  SendFrame(tracker, type);
  return true;
}

void Queries::RequestServerList() { AskTracker(kServerListAnnouncement, kTypeServerListRequest); }

// An update that gets no answer says so, instead of leaving the list as it
// was without a word.
void Queries::UpdateServerList() {
  if (!AskTracker(kUpdateAnnouncement, kTypeServerListUpdateRequest)) return;
  EndTrackerWait();
  tracker_wait_ = ui_.StartTimer(kTrackerWaitMs, [this] {
    EndTrackerWait();
    PrintQueryText(kTrackerSilent, MessageClass::Server);
  });
}

void Queries::PrintQueryText(std::string_view text, MessageClass cls) {
  if (settings_.settings().redirect_queries) {
    window_.Append(text, cls);
  } else {
    window_.AppendToActiveView(text, cls);
  }
}

size_t Queries::MergeServerList(std::string_view text) {
  size_t added = MergeServerListText(text, settings_.servers());
  if (added > 0) settings_.SaveServerList();
  return added;
}

void Queries::PostQueryText(std::string_view text, std::string_view line_end) {
  std::string copy;
  copy.reserve(text.size() + line_end.size());
  copy.append(text).append(line_end);
  ui_.Post([this, alive = std::weak_ptr<bool>(alive_), copy = std::move(copy)] {
    if (!alive.expired()) PrintQueryText(copy, MessageClass::Server);
  });
}

void Queries::PostServerList(std::string_view text) {
  ui_.Post([this, alive = std::weak_ptr<bool>(alive_), copy = std::string(text)] {
    if (alive.expired()) return;
    EndTrackerWait();
    MergeServerList(copy);
  });
}

bool Queries::TakeTextFrom(PeerAddress source) {
  if (!source.IsSet()) return false;
  const PeerAddress tracker = addresses_.tracker.Load();
  if (source == addresses_.server.Load() || source == tracker) return true;
  // The tracker answers questions about players from its own port.
  if (tracker.IsSet() && source == PeerAddress{tracker.ip, kTrackerAnswerPort}) return true;
  for (AtomicPeerAddress& queried : queried_servers_) {
    if (queried.Load() != source) continue;
    queried.Clear();
    return true;
  }
  return false;
}

bool Queries::TakeServerListFrom(PeerAddress source) {
  if (!source.IsSet() || source != addresses_.tracker.Load()) return false;
  int awaited = awaited_server_lists_.load(std::memory_order_acquire);
  while (awaited > 0 && !awaited_server_lists_.compare_exchange_weak(awaited, awaited - 1)) {
  }
  return awaited > 0;
}

}  // namespace vorn
