#include "node/node.h"

namespace vorn {

Node::Node(const NodePorts& ports, NodeOptions options)
    : ports_(ports),
      options_(std::move(options)),
      settings_(ports.profile, ports.dialogs, ports.user_info),
      endpoint_(ports.clock, ports.dialogs, ports.messages, addresses_, dispatcher_, options_.own_address_sources),
      connection_({ports.clock, ports.ui, ports.messages, ports.dialogs, settings_, addresses_, endpoint_}),
      local_server_({ports.clock, ports.ui, ports.messages, endpoint_, addresses_, connection_}) {
  RegisterHandlers();
}

Node::~Node() { Shutdown(); }

void Node::RegisterHandlers() {
  // The dispatcher drops every type that has no handler yet; the connection,
  // local server, IPX and chat subsystems register theirs here as they join.
  connection_.RegisterHandlers(dispatcher_);
  local_server_.RegisterHandlers(dispatcher_);
}

bool Node::Start() {
  if (settings_.LoadSettings() != SettingsStore::kLoaded) return false;
  const AppSettings& s = settings_.settings();
  addresses_.tracker.Store(s.tracker);
  addresses_.proxy.Store(s.proxy);
  addresses_.server.Clear();

  EndpointConfig config;
  config.port = options_.ephemeral_port ? 0 : static_cast<uint16_t>(s.udpPort);
  config.my_ip = s.myIp;
  if (!endpoint_.OpenUdpEndpoint(config)) return false;
  if (!endpoint_.StartReceiveThread()) {
    endpoint_.CloseUdpEndpoint();
    return false;
  }
  started_ = true;
  return true;
}

void Node::Shutdown() {
  if (!started_) return;
  started_ = false;
  endpoint_.CloseUdpEndpoint();
  settings_.ReleaseSettings();
}

}  // namespace vorn
