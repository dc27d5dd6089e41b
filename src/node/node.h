#pragma once
// One running Vorn program: everything a process-wide design would keep in
// globals belongs to a Node and the subsystems it owns, so several nodes can
// run side by side in one process.
#include <memory>

#include "connection/connection.h"
#include "net/dispatch.h"
#include "net/shared_addresses.h"
#include "net/udp_endpoint.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/message_window.h"
#include "platform/profile.h"
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
};

class Node {
 public:
  explicit Node(const NodePorts& ports, NodeOptions options = {});
  ~Node();
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;

  // The start-up order: settings (with the first-run check), the shared
  // addresses they name, the UDP endpoint, the receive thread. False after
  // the failure has been reported; the node is then shut down again.
  bool Start();
  // The shutdown order, in reverse. Safe to call twice.
  void Shutdown();

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

 private:
  void RegisterHandlers();

  NodePorts ports_;
  NodeOptions options_;
  SharedAddresses addresses_;
  Dispatcher dispatcher_;
  SettingsStore settings_;
  UdpEndpoint endpoint_;
  Connection connection_;
  LocalServer local_server_;
  bool started_ = false;
};

}  // namespace vorn
