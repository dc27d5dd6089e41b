#pragma once
// One running Vorn program: everything a process-wide design would keep in
// globals belongs to a Node and the subsystems it owns, so several nodes can
// run side by side in one process.
#include <memory>
#include <optional>

#include "chat/chat.h"
#include "chat/headless_chat_windows.h"
#include "connection/connection.h"
#include "dplay/directplay_bridge.h"
#include "ipx/driver_link.h"
#include "ipx/forwarding.h"
#include "ipx/null_driver.h"
#include "net/dispatch.h"
#include "net/link_monitor.h"
#include "net/parity_decoder.h"
#include "net/peer_capabilities.h"
#include "net/shared_addresses.h"
#include "net/udp_endpoint.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/message_window.h"
#include "platform/profile.h"
#include "platform/rate_limit.h"
#include "platform/ui_loop.h"
#include "server/local_server.h"
#include "settings/settings_store.h"
#include "settings/user_info.h"

namespace vorn {

// What a node asks of its surroundings. Each must outlive the node.
struct NodePorts {
  Clock& clock;
  UiLoop& ui;
  MessageWindow& messages;
  Dialogs& dialogs;
  Profile& profile;
  UserInfoDialog& user_info;
};

struct NodeOptions {
  // Bind an ephemeral port instead of the configured one (tests).
  bool ephemeral_port = false;
  // Sources of the own address when "my_ip" is empty; tests replace them.
  OwnAddressSources own_address_sources = {};
  // The game-side driver; none: no game is attached and the link stays
  // closed. Must outlive the node.
  Driver* driver = nullptr;
  // The chat windows; none: chat text is not shown anywhere.
  ChatWindows* chat_windows = nullptr;
  DirectPlayBridgeOptions direct_play = {};
  ChatOptions chat = {};
};

class Node {
 public:
  explicit Node(const NodePorts& ports, NodeOptions options = {});
  ~Node();
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;

  // The start-up order: settings (with the first-run check), the shared
  // addresses they name, the UDP endpoint, the driver link, the receive
  // thread. False after the failure has been reported; what was opened is
  // closed again.
  bool Start();
  // The shutdown order: leave chat, say bye to the server, stop the
  // DirectPlay bridge and local server mode, release the settings, close the
  // driver link, then the endpoint. UI thread; safe to call twice.
  void Shutdown();
  // After the advanced options changed the join flags, the loss protection
  // or the windowed transfers.
  void ApplyJoinFlags();

  SettingsStore& settings() { return settings_; }
  Dispatcher& dispatcher() { return dispatcher_; }
  UdpEndpoint& endpoint() { return endpoint_; }
  SharedAddresses& addresses() { return addresses_; }
  const NodePorts& ports() const { return ports_; }
  // The own address and bound port, as the network sees this node.
  PeerAddress LocalAddress() const { return addresses_.local.Load(); }
  // Joining and leaving servers, the proxy greeting, queries; the client's
  // handlers.
  Connection& connection() { return connection_; }
  // The server side: admission, relay, liveness, listings; local server mode.
  LocalServer& local_server() { return local_server_; }
  DriverLink& driver_link() { return driver_link_; }
  GameForwarder& forwarder() { return forwarder_; }
  DirectPlayBridge& direct_play() { return direct_play_; }
  Chat& chat() { return chat_; }
  PeerCapabilities& peer_capabilities() { return peer_capabilities_; }
  // Round trip, jitter and loss toward each game peer, and its protection.
  LinkMonitor& links() { return links_; }
  ChatWindows& chat_windows() { return chat_windows_; }
  bool HasDriver() const { return has_driver_; }

 private:
  void RegisterHandlers();
  ConnectionHooks MakeConnectionHooks();
  ForwarderHooks MakeForwarderHooks();
  ChatQueryHooks MakeChatQueryHooks();
  // UI thread: probes the links while any has traffic.
  void StartLinkTimer();
  void TickLinks();

  NodePorts ports_;
  NodeOptions options_;
  // Tasks posted to the UI loop check it: the loop may outlive the node.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  SharedAddresses addresses_;
  // What each peer announced beyond the protocol; every extension reads it.
  PeerCapabilities peer_capabilities_;
  Dispatcher dispatcher_;
  SettingsStore settings_;
  UdpEndpoint endpoint_;
  LinkMonitor links_;
  ParityDecoder parity_;  // receive thread
  NullDriver null_driver_;
  bool has_driver_;
  HeadlessChatWindows silent_chat_windows_;
  ChatWindows& chat_windows_;
  Connection connection_;
  LocalServer local_server_;
  DriverLink driver_link_;
  GameForwarder forwarder_;
  DirectPlayBridge direct_play_;
  Chat chat_;
  bool started_ = false;
  std::optional<UiLoop::TimerId> link_timer_;  // UI thread
  // Chat packets that ask for an answer (who is there, a file, a ping):
  // answered within these limits per sender and in all. Receive thread only.
  static constexpr AnswerLimits kChatAnswerLimits{4096, 10'000, {32, 20}};
  SourceLimiter chat_answers_{kChatAnswerLimits};
};

}  // namespace vorn
