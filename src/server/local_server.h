#pragma once
// The server side of the protocol and local server mode. The handlers answer
// greetings, byes, broadcasts, ping replies and queries on the receive
// thread in every node, whether or not local server mode is on; the mode
// adds the one-second tick (pings and time-outs) on the UI thread and
// connects the node to itself, so the local player joins like everyone else.
#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "connection/connector.h"
#include "net/dispatch.h"
#include "net/game_info.h"
#include "net/link_monitor.h"
#include "net/messages.h"
#include "net/shared_addresses.h"
#include "net/udp_endpoint.h"
#include "platform/clock.h"
#include "platform/message_window.h"
#include "platform/rate_limit.h"
#include "platform/ui_loop.h"
#include "server/client_table.h"
#include "server/server_events.h"

namespace vorn {

// What the local server uses. Each must outlive it.
struct LocalServerPorts {
  Clock& clock;
  UiLoop& ui;
  MessageWindow& messages;
  const UdpEndpoint& endpoint;
  SharedAddresses& addresses;
  Connector& connector;
};

class LocalServer final : public ProxiedClients {
 public:
  static constexpr int32_t kTickPeriodMs = 1000;
  static constexpr int64_t kSilenceLimitS = 59;  // dropped when silent for longer
  static constexpr uint16_t kTrackerPlayerInfoPort = 6666;
  // Queries are answered to anyone: a few full answers at once per asker
  // (again after ten quiet seconds), then no more bytes than it sends, and
  // twenty answers a second in all: more than any user asks for.
  static constexpr AnswerLimits kAnswerLimits{2048, 10'000, {32, 20}};

  // query_game_info names the game this machine runs; empty: none runs.
  LocalServer(const LocalServerPorts& ports, GameInfoQuery query_game_info = {});
  ~LocalServer() override;
  LocalServer(const LocalServer&) = delete;
  LocalServer& operator=(const LocalServer&) = delete;

  // Before the receive thread starts: the handlers of '1', '3', 'B', 'A',
  // 'Q', 'U', 'W' and 'M', and the judge of wraps from other proxies.
  void RegisterHandlers(Dispatcher& dispatcher);

  // UI thread. Leaves any server, clears the table, starts the tick and
  // connects this node to itself; the mode is on whatever that gives.
  bool StartLocalServer();
  // UI thread. Stops the tick and forgets the server; the table and the
  // clients are left as they are.
  void StopLocalServer();
  bool IsLocalServerMode() const { return mode_.load(std::memory_order_acquire); }
  // Whether greetings and broadcasts are taken: only while this node
  // serves. A plain client that admitted them would relay a stranger's
  // frames to whoever a forged greeting named. Local server mode turns it
  // on; a server without a player of its own (tests) turns it on alone.
  void SetServing(bool on) { serving_.store(on, std::memory_order_release); }
  bool IsServing() const { return serving_.load(std::memory_order_acquire); }

  // UI thread, every second in local server mode: drops silent clients and
  // pings the entry whose turn it is (each one every ten seconds).
  void ServerTick();
  // Drops the clients other than entry 0 that have been silent too long.
  void SweepTimeouts();
  // Asks which game this machine runs and shows it in entry 0.
  void QueryGameInfo();
  // Shows a game already asked for in entry 0.
  void ShowOwnGame(const GameInfo& game);

  // Handlers, receive thread: the datagram proper and its sender.
  void OnHello(std::span<const uint8_t> datagram, PeerAddress sender);
  void OnBye(std::span<const uint8_t> datagram, PeerAddress sender);
  void OnBroadcastFrame(std::span<const uint8_t> datagram, PeerAddress sender);
  void OnPingReply(std::span<const uint8_t> datagram, PeerAddress sender);
  void OnPlayerListRequest(std::span<const uint8_t> datagram, PeerAddress sender);
  void OnNamesRequest(std::span<const uint8_t> datagram, PeerAddress sender);
  void OnPlayerInfoRequest(std::span<const uint8_t> datagram, PeerAddress sender);
  void OnMotdRequest(std::span<const uint8_t> datagram, PeerAddress sender);
  // In local server mode, a greeting through another proxy is answered
  // here, and any other wrap counts only for a player who greeted through
  // that same proxy.
  bool AcceptWrap(std::span<const uint8_t> datagram, PeerAddress client, PeerAddress via) override;

  ClientTable& table() { return table_; }
  // Before the receive thread starts; null for none. Must outlive the server.
  void SetEvents(ServerEvents* events) { events_ = events; }
  // Before the receive thread starts: the links whose protection decides
  // which players get a relayed broadcast twice; null: nobody does.
  void SetLinks(LinkMonitor* links) { links_ = links; }

 private:
  // Lines about dropped clients, held until the table's lock is released.
  class TimeoutNotices {
   public:
    void Add(const ClientEntry& entry);
    void AppendTo(MessageWindow& messages, ServerEvents* events) const;

   private:
    std::array<std::array<char, 96>, kClientCount> lines_{};
    std::array<PlayerNote, kClientCount> players_{};
    size_t count_ = 0;
  };

  // via: the proxy the greeting came through, unset when direct.
  void Greet(std::span<const uint8_t> datagram, PeerAddress sender, PeerAddress via);
  // The answer to a greeting of the right version: accepted, full or
  // nickname; 0 (no answer) for a greeting through another proxy than the
  // one that the client's entry came through.
  char AdmitClient(const HelloRecord& hello, PeerAddress sender, PeerAddress via, TimeoutNotices& notices);

  void SweepTimeouts(ClientTable::Locked& table, TimeoutNotices& notices);
  bool RefuseVersion(const HelloRecord& hello, PeerAddress sender);
  void Refused(const HelloRecord& hello, PeerAddress sender, std::string_view why) const;
  static bool NicknameHeldElsewhere(const ClientTable::Locked& table, int taken, std::string_view nickname);
  // The protected targets' second datagrams after a relay of head+body.
  void SendSeconds(std::span<const PeerAddress> targets, std::span<const uint8_t> head, std::span<const uint8_t> body);
  // Under the table's one lock: the sender's last seen time, and where its
  // broadcast goes. 0 when the sender is no player, or the frame is a
  // repeat of one already relayed.
  size_t RelayTargets(std::span<const uint8_t> datagram, PeerAddress sender,
                      std::array<PeerAddress, kClientCount>& targets);
  // Receive thread: whether a query from sender may be answered now. The
  // players are answered always; strangers within the limits.
  bool MayAnswer(PeerAddress sender, size_t request_bytes, size_t answer_bytes);
  void SendFrameOnly(PeerAddress to, char type) const;
  void Send(PeerAddress to, std::span<const uint8_t> datagram) const;

  LocalServerPorts ports_;
  GameInfoQuery query_game_info_;
  ServerEvents* events_ = nullptr;
  LinkMonitor* links_ = nullptr;
  ClientTable table_;
  std::atomic<bool> mode_{false};
  std::atomic<bool> serving_{false};
  SourceLimiter answers_{kAnswerLimits};  // receive thread only
  // UI thread only.
  std::optional<UiLoop::TimerId> tick_timer_;
  int32_t ping_counter_ = 0;
};

}  // namespace vorn
