#pragma once
// Joining and leaving a server, and greeting the proxy. Each is one blocking
// operation on the UI thread: send, watch the answer code for a second, then
// run a progress dialog while a 500 ms tick repeats the message every second,
// ten times at most, and acts on the answer the receive thread recorded.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

#include "connection/client_handlers.h"
#include "connection/connection_hooks.h"
#include "connection/connector.h"
#include "connection/queries.h"
#include "connection/reply_board.h"
#include "net/dispatch.h"
#include "net/messages.h"
#include "net/shared_addresses.h"
#include "net/udp_endpoint.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/message_window.h"
#include "platform/ui_loop.h"
#include "settings/settings_store.h"

namespace vorn {

// What the connection uses; each must outlive it.
struct ConnectionPorts {
  Clock& clock;
  UiLoop& ui;
  MessageWindow& window;
  Dialogs& dialogs;
  SettingsStore& settings;
  SharedAddresses& addresses;
  const UdpEndpoint& endpoint;
};

class Connection final : public Connector {
 public:
  static constexpr int kRetries = 10;
  static constexpr int32_t kTickMs = 500;
  static constexpr int32_t kPollMs = 1000;

  explicit Connection(const ConnectionPorts& ports);
  ~Connection() override;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // UI thread, all four. The address text is dotted IPv4, optionally ":" and
  // a port (2213 when there is none).
  bool ConnectToServer(const ServerEntry& entry) override;
  // The listed server with this name or address (letter case ignored), or
  // else the given address itself.
  bool ConnectByName(std::optional<std::string_view> name, std::optional<std::string_view> address);
  bool DisconnectFromServer() override;
  // True when the proxy answered; false at once when none is configured.
  bool ConnectToProxy();

  // UI thread, right after a greeting succeeded: adopts the address under
  // which the server sees this node when its full acceptance reported
  // another one, and restarts the driver link for it.
  void ApplyObservedAddress();

  // Both before the receive thread starts: the handlers call the game query
  // hook from it.
  void RegisterHandlers(Dispatcher& dispatcher) { handlers_.Register(dispatcher); }
  void SetHooks(ConnectionHooks hooks) { hooks_ = std::move(hooks); }

  bool IsConnected() const { return addresses_.server.Load().IsSet(); }
  Queries& queries() { return queries_; }
  ClientHandlers& handlers() { return handlers_; }

 private:
  using Tick = void (Connection::*)();

  void Announce(std::string_view text) { window_.Append(text, MessageClass::Server); }
  void Send(PeerAddress to, std::span<const uint8_t> data) const;
  void SendHello() const;
  void SendFrame(PeerAddress to, char type) const;
  bool SayHello(PeerAddress target);
  void AdoptServer();
  bool PollForReply(ServerReply wanted, int32_t step_ms);
  void RunProgressDialog(std::string_view title, std::string_view text, bool close_label, Tick tick);
  bool DialogGone() const;
  void CloseDialog();
  void StopTimer();
  bool CountDown(std::string_view error);
  bool RepeatServerMessage();
  void ServerTick();
  void ActOnServerReply(ServerReply reply);
  void ProxyTick();

  Clock& clock_;
  UiLoop& ui_;
  MessageWindow& window_;
  Dialogs& dialogs_;
  SettingsStore& settings_;
  SharedAddresses& addresses_;
  const UdpEndpoint& endpoint_;

  ConnectionHooks hooks_;
  ReplyBoard board_;
  Queries queries_;
  ClientHandlers handlers_;

  // The greeting in progress; rebuilt for each and resent unchanged.
  std::array<uint8_t, kHelloSize> hello_{};
  PeerAddress target_;
  bool saying_hello_ = false;
  bool saying_bye_ = false;
  bool proxy_connected_ = false;
  int retries_left_ = kRetries;
  int parity_ = 0;  // a repetition on every second tick
  std::unique_ptr<ProgressDialog> dialog_;
  std::optional<UiLoop::TimerId> timer_;
};

}  // namespace vorn
