#pragma once
// A local server on its own UDP endpoint on 127.0.0.1, without the rest of a
// node: a manual clock, a test loop, a recording window and a connector that
// only records, so tests drive admission, relay and liveness with fake
// clients and call the tick themselves.
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "net/dispatch.h"
#include "net/udp_endpoint.h"
#include "server/local_server.h"
#include "support/fake_client.h"
#include "support/test_node.h"

namespace vorn {

// Local server mode connects the program to itself: here it only counts as
// connected.
class AcceptingConnector final : public Connector {
 public:
  bool ConnectToServer(const ServerEntry&) override { return true; }
  bool DisconnectFromServer() override { return true; }
};

struct ServerHarness {
  // more_handlers may replace or add handlers before the receive thread runs.
  explicit ServerHarness(const std::function<void(ServerHarness&)>& more_handlers = {}) {
    server.RegisterHandlers(dispatcher);
    server.SetServing(true);
    if (more_handlers) more_handlers(*this);
    EndpointConfig config;
    config.port = 0;
    config.my_ip = "127.0.0.1";
    started = endpoint.OpenUdpEndpoint(config) && endpoint.StartReceiveThread();
  }
  // The receive thread runs the server's handlers: stop it first.
  ~ServerHarness() { endpoint.CloseUdpEndpoint(); }

  PeerAddress address() const { return addresses.local.Load(); }
  void SetOwnGame(std::string name) {
    std::lock_guard lock(game_mutex);
    own_game.name = std::move(name);
  }
  ClientEntry Entry(int index) { return server.table().Snapshot()[static_cast<size_t>(index)]; }
  // Greets from client and returns the type byte of the answer.
  char Greet(const FakeClient& client, std::string_view nickname, std::string_view version = kProtocolVersion) {
    client.SendHello(address(), nickname, version);
    return client.ReceiveType();
  }

  ManualClock clock;
  EventLoop loop{clock, EventLoop::Idle::AdvanceClock};
  RecordingWindow window;
  ScriptedDialogs dialogs;
  SharedAddresses addresses;
  Dispatcher dispatcher;
  UdpEndpoint endpoint{clock, dialogs, window, addresses, dispatcher};
  AcceptingConnector connector;
  std::mutex game_mutex;
  GameInfo own_game;
  LocalServer server{{clock, loop, window, endpoint, addresses, connector}, [this] {
                       std::lock_guard lock(game_mutex);
                       return own_game;
                     }};
  bool started = false;
};

}  // namespace vorn
