#pragma once
// Four chatting vornd nodes with lossy links. Node 0 hosts the sub-net on a
// clean line. Nodes 1 to 3 each sit behind an access link of their own: the
// node names an impairing relay as its proxy, and the relay passes its
// traffic on to one vorn-proxy. Chat goes peer to peer, so a node's peers
// know it by the proxy's upstream port for it; every datagram it sends or
// receives, to the host or to a peer, therefore crosses its own relay, and
// a datagram between two of these nodes crosses two.
#include <array>
#include <memory>
#include <string>
#include <thread>

#include "impair/impairing_relay.h"
#include "proving/soak_support.h"

namespace vorn::soak {

inline constexpr size_t kChatNodes = 4;

class ChatMesh {
 public:
  ChatMesh() = default;
  ~ChatMesh();
  ChatMesh(const ChatMesh&) = delete;
  ChatMesh& operator=(const ChatMesh&) = delete;

  // Starts the proxy, the host, the relays and the nodes, joins every node
  // to "#chat" and makes sure each one hears every other. Links are clean
  // until SetLinkRates. Returns an empty text, or what went wrong.
  std::string Start();
  // Both directions of every node's relay.
  void SetLinkRates(const ImpairmentRates& rates);
  void SetLinkRates(size_t node, RelayDirection direction, const ImpairmentRates& rates);
  // Until no relay has passed a datagram for quiet_ms (no retransmission is
  // left in flight), or the limit passes.
  bool WaitUntilLinksQuiet(std::chrono::milliseconds quiet, std::chrono::milliseconds limit) const;
  RelayCounters LinkTotals() const;
  std::string Nick(size_t node) const { return node == 0 ? "host" : "node" + std::to_string(node); }
  Program& node(size_t i) { return *nodes_[i]; }
  // How many rounds of lines it took until every node heard every other.
  int warm_up_rounds() const { return warm_up_rounds_; }
  const TempDir& dir() const { return dir_; }
  // The end of every node's output, for failure messages.
  std::string AllOutputs() const;

 private:
  struct Link {
    SteadyClock clock;
    ImpairingRelay relay{clock};
    std::jthread thread;
  };
  std::string StartNode(size_t i, uint16_t host_port, uint16_t proxy_port);
  std::string JoinAll();
  bool EveryoneHeardRound(int round) const;

  TempDir dir_;
  std::unique_ptr<Program> proxy_;
  std::array<std::unique_ptr<Program>, kChatNodes> nodes_;
  std::array<std::unique_ptr<Link>, kChatNodes> links_;  // none for the host
  int warm_up_rounds_ = 0;
};

}  // namespace vorn::soak
