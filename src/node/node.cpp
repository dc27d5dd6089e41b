#include "node/node.h"

namespace vorn {

namespace {

// What a chat packet's answer may weigh: a file fragment for a file
// request, a header and a line for the other questions; 0: no question.
size_t AnswerBytes(std::span<const uint8_t> chat) {
  const std::optional<ChatPacketView> packet = ParseChatBody(chat);
  if (!packet) return 0;
  switch (packet->subtype) {
    case ChatSubtype::FileRequest:
    case ChatSubtype::Unnamed14:
    case ChatSubtype::Unnamed19:
      return kChatHeaderSize + kMaxFragmentPayload;
    case ChatSubtype::WhoQuery:
    case ChatSubtype::PingRequest:
      return 2 * kChatHeaderSize;
    default:
      return 0;
  }
}

int SendThrough(const UdpEndpoint& endpoint, PeerAddress to, std::span<const uint8_t> datagram) {
  return endpoint.SendPacket(to, datagram);
}
}  // namespace

Node::Node(const NodePorts& ports, NodeOptions options)
    : ports_(ports),
      options_(std::move(options)),
      settings_(ports.profile, ports.dialogs, ports.user_info),
      endpoint_(ports.clock, ports.dialogs, ports.messages, addresses_, dispatcher_, options_.own_address_sources),
      links_(
          ports.clock, addresses_, peer_capabilities_,
          [this](PeerAddress to, std::span<const uint8_t> d) { return SendThrough(endpoint_, to, d); },
          [this] { return peer_capabilities_.Own(); },
          [this, alive = std::weak_ptr<bool>(alive_)] {
            ports_.ui.Post([this, alive] {
              if (alive.lock()) StartLinkTimer();
            });
          }),
      parity_([this](PeerAddress link) { return peer_capabilities_.Has(link, capability::kDecodesParity); },
              [this](std::span<const uint8_t> datagram, PeerAddress link) {
                links_.NoteRebuilt(link);
                endpoint_.HandleRebuilt(datagram, link);
              }),
      has_driver_(options_.driver != nullptr),
      silent_chat_windows_(ports.ui, [](std::string_view, std::string_view, uint32_t) {}),
      chat_windows_(options_.chat_windows ? *options_.chat_windows : silent_chat_windows_),
      connection_({ports.clock, ports.ui, ports.messages, ports.dialogs, settings_, addresses_, endpoint_}),
      local_server_({ports.clock, ports.ui, ports.messages, endpoint_, addresses_, connection_},
                    [this] { return forwarder_.QueryGameInfo(); }),
      driver_link_(
          {has_driver_ ? *options_.driver : null_driver_, ports.dialogs, ports.messages, ports.profile, addresses_},
          [this](PacketSlot slot) { forwarder_.ForwardDriverPacket(slot); }),
      forwarder_(
          driver_link_, ports.clock, addresses_,
          [this](PeerAddress to, std::span<const uint8_t> d) { return SendThrough(endpoint_, to, d); },
          MakeForwarderHooks()),
      direct_play_(ports.messages, addresses_, endpoint_, dispatcher_, options_.direct_play),
      chat_(
          {ports.clock, ports.ui, ports.dialogs, settings_, addresses_, chat_windows_},
          [this](PeerAddress to, std::span<const uint8_t> d) { return SendThrough(endpoint_, to, d); },
          [this] {
            ChatOptions chat = options_.chat;
            chat.queries = MakeChatQueryHooks();
            chat.capabilities = &peer_capabilities_;
            return chat;
          }()) {
  connection_.SetHooks(MakeConnectionHooks());
  silent_chat_windows_.SetOnLastClosed([this] { chat_.LeaveChatMode(); });
  RegisterHandlers();
}

Node::~Node() { Shutdown(); }

ConnectionHooks Node::MakeConnectionHooks() {
  ConnectionHooks hooks;
  hooks.stop_direct_play_bridge = [this] { direct_play_.StopDirectPlayBridge(); };
  // The windows outlive the connection; leaving the program closes them.
  hooks.leave_chat_mode = [this] { chat_.GoOffline(); };
  hooks.close_driver_link = [this] { driver_link_.CloseDriverLink(); };
  hooks.open_driver_link = [this] {
    if (has_driver_) driver_link_.OpenDriverLink();
  };
  hooks.take_server_text = [this](std::string_view text) { return forwarder_.TakePlayerList(text); };
  // Asked once: the name in entry 0 and the one in the reply are the same.
  hooks.query_game_info = [this] {
    const GameInfo game = forwarder_.QueryGameInfo();
    local_server_.ShowOwnGame(game);
    return game;
  };
  return hooks;
}

ForwarderHooks Node::MakeForwarderHooks() {
  ForwarderHooks hooks;
  hooks.on_chat_packet = [this](PeerAddress sender, std::span<const uint8_t> chat) {
    const size_t answer = AnswerBytes(chat);
    if (answer > 0 && !chat_answers_.Allow(sender, ports_.clock.NowMs(), kChatBodyOffset + chat.size(), answer)) return;
    chat_.OnChatPacket(sender, chat);
  };
  hooks.is_direct_play_bridge_running = [this] { return direct_play_.IsDirectPlayBridgeRunning(); };
  hooks.links = &links_;
  return hooks;
}

ChatQueryHooks Node::MakeChatQueryHooks() {
  ChatQueryHooks hooks;
  hooks.request_player_list = [this] { connection_.queries().RequestPlayerList(); };
  hooks.request_names_list = [this] { connection_.queries().RequestNamesList(); };
  hooks.request_server_list = [this] { connection_.queries().RequestServerList(); };
  hooks.request_player_info = [this](std::string_view nick) { connection_.queries().RequestPlayerInfo(nick); };
  return hooks;
}

void Node::RegisterHandlers() {
  connection_.RegisterHandlers(dispatcher_);
  local_server_.RegisterHandlers(dispatcher_);
  dispatcher_.SetHandler(kTypeGameFrame, [this](std::span<const uint8_t> frame, PeerAddress sender) {
    forwarder_.OnGameFrame(frame, sender);
  });
  dispatcher_.SetRelayedHandler(kTypeGameFrame, [this](std::span<const uint8_t> frame, PeerAddress sender) {
    forwarder_.OnGameFrame(frame, sender, true);
  });
  dispatcher_.SetHandler(kTypeLinkProbe, [this](std::span<const uint8_t> probe, PeerAddress sender) {
    links_.OnLinkProbe(probe, sender);
  });
  // A parity counts as a datagram of its link, as a plain copy would.
  dispatcher_.SetHandler(kTypeParity, [this](std::span<const uint8_t> parity, PeerAddress link) {
    if (parity_.OnParity(parity, link)) links_.NoteReceived(link);
  });
  // Parities travel only unwrapped: a relayed one is nobody's.
  dispatcher_.SetRelayedHandler(kTypeParity, [](std::span<const uint8_t>, PeerAddress) {});
  endpoint_.SetParityDecoder(&parity_);
  local_server_.SetLinks(&links_);
}

void Node::ApplyJoinFlags() {
  forwarder_.SetFastJoin(settings_.settings().fast_join);
  forwarder_.SetFastJoin2(settings_.settings().fast_join2);
  links_.SetMode(settings_.settings().loss_protection);
  // Every node drops exact repeats of game frames, whatever it sends.
  peer_capabilities_.SetOwn(capability::kDropsRepeats | capability::kDecodesParity |
                            (settings_.settings().windowed_transfers ? capability::kWindowedTransfer : 0));
}

bool Node::Start() {
  if (settings_.LoadSettings() != SettingsStore::kLoaded) return false;
  const AppSettings& s = settings_.settings();
  addresses_.tracker.Store(s.tracker);
  addresses_.proxy.Store(s.proxy);
  addresses_.server.Clear();
  ApplyJoinFlags();

  EndpointConfig config;
  config.port = options_.ephemeral_port ? 0 : static_cast<uint16_t>(s.udpPort);
  config.my_ip = s.my_ip;
  if (!endpoint_.OpenUdpEndpoint(config)) return false;
  if (has_driver_ && !driver_link_.OpenDriverLink()) {
    endpoint_.CloseUdpEndpoint();
    return false;
  }
  if (!endpoint_.StartReceiveThread()) {
    driver_link_.CloseDriverLink();
    endpoint_.CloseUdpEndpoint();
    return false;
  }
  started_ = true;
  return true;
}

void Node::StartLinkTimer() {
  if (started_ && !link_timer_)
    link_timer_ = ports_.ui.StartTimer(LinkMonitor::kProbePeriodMs, [this] { TickLinks(); });
}

void Node::TickLinks() {
  if (links_.Tick() || !link_timer_) return;
  ports_.ui.KillTimer(*link_timer_);
  link_timer_.reset();
}

void Node::Shutdown() {
  if (!started_) return;
  started_ = false;
  if (link_timer_) ports_.ui.KillTimer(*link_timer_);
  link_timer_.reset();
  chat_.LeaveChatMode();
  connection_.DisconnectFromServer();
  direct_play_.StopDirectPlayBridge();
  if (local_server_.IsLocalServerMode()) local_server_.StopLocalServer();
  settings_.ReleaseSettings();
  driver_link_.CloseDriverLink();
  endpoint_.CloseUdpEndpoint();
}

}  // namespace vorn
