#include "proving/chat_mesh.h"

#include <signal.h>

#include "impair/impair_options.h"
#include "platform/text.h"

namespace vorn::soak {
namespace {

using namespace std::chrono_literals;

constexpr auto kStartLimit = 20s;
constexpr auto kJoinLimit = 15s;
constexpr auto kRoundLimit = 5s;

}  // namespace

ChatMesh::~ChatMesh() {
  for (auto& node : nodes_)
    if (node) node->Stop(SIGINT);
  for (auto& link : links_) {
    if (!link) continue;
    link->relay.Stop();
    if (link->thread.joinable()) link->thread.join();
  }
  if (proxy_) proxy_->Stop(SIGINT);
}

std::string ChatMesh::Start() {
  uint16_t proxy_port = FreeUdpPort();
  proxy_ = std::make_unique<Program>(std::vector<std::string>{VORN_PROXY_PATH, "--port", std::to_string(proxy_port)});
  if (!proxy_->WaitForOutput("listening on", kStartLimit)) return "vorn-proxy did not start: " + proxy_->Tail();
  uint16_t host_port = FreeUdpPort();
  for (size_t i = 0; i < kChatNodes; ++i) {
    if (std::string error = StartNode(i, host_port, proxy_port); !error.empty()) return error;
  }
  return JoinAll();
}

std::string ChatMesh::StartNode(size_t i, uint16_t host_port, uint16_t proxy_port) {
  std::vector<std::string> extra;
  if (i == 0) {
    extra = {"--server"};
  } else {
    links_[i] = std::make_unique<Link>();
    RelayConfig config;
    config.target = {kLoopback, proxy_port};
    config.seed = 1000 + i;
    config.max_clients = 2;
    std::string error;
    if (!links_[i]->relay.Open(config, error)) return "relay: " + error;
    links_[i]->thread = std::jthread([relay = &links_[i]->relay] { relay->Run(); });
    extra = {"--proxy", FormatPeer(links_[i]->relay.LocalAddress()), "127.0.0.1:" + std::to_string(host_port)};
  }
  nodes_[i] = std::make_unique<Program>(VorndCommand(dir_, Nick(i), i == 0 ? host_port : FreeUdpPort(), extra));
  if (!nodes_[i]->WaitForOutput("Connected to server.", kStartLimit))
    return Nick(i) + " did not connect: " + nodes_[i]->Tail();
  return {};
}

// One at a time, so that every node already in chat mode hears the
// newcomer's hello (and answers it, which is how the newcomer learns of it).
// A node is ready once its chat window shows the answer to the query that
// joining sends to itself.
std::string ChatMesh::JoinAll() {
  for (size_t i = 0; i < kChatNodes; ++i) {
    nodes_[i]->TypeLine("/join #chat");
    if (!nodes_[i]->WaitForOutput(Nick(i) + " is on channel #chat.", kJoinLimit))
      return Nick(i) + " never joined: " + AllOutputs();
  }
  // A node learns of a peer from the peer's hello or from any packet the
  // peer sends it; when one of the two already knows the other, a second
  // round of lines completes the acquaintance.
  constexpr int kRounds = 3;
  for (int round = 1; round <= kRounds; ++round) {
    for (size_t i = 0; i < kChatNodes; ++i) nodes_[i]->TypeLine(Format("warm-up %d from %s", round, Nick(i).c_str()));
    warm_up_rounds_ = round;
    if (EveryoneHeardRound(round)) return {};
  }
  return "the nodes never all heard each other: " + AllOutputs();
}

bool ChatMesh::EveryoneHeardRound(int round) const {
  bool all = true;
  for (size_t i = 0; i < kChatNodes; ++i) {
    for (size_t j = 0; j < kChatNodes; ++j) {
      std::string line = Format("warm-up %d from %s\n", round, Nick(j).c_str());
      all = nodes_[i]->WaitForOutput(line, all ? std::chrono::milliseconds(kRoundLimit) : 0ms) && all;
    }
  }
  return all;
}

std::string ChatMesh::AllOutputs() const {
  std::string text;
  for (size_t i = 0; i < kChatNodes; ++i)
    if (nodes_[i]) text += "\n--- " + Nick(i) + ":\n" + nodes_[i]->Tail();
  for (size_t i = 0; i < kChatNodes; ++i)
    if (links_[i]) text += "\n--- link of " + Nick(i) + ":\n" + FormatCounters(links_[i]->relay.Counters());
  if (proxy_) text += "\n--- proxy:\n" + proxy_->Tail();
  return text;
}

void ChatMesh::SetLinkRates(const ImpairmentRates& rates) {
  for (size_t i = 1; i < kChatNodes; ++i) {
    SetLinkRates(i, RelayDirection::ToTarget, rates);
    SetLinkRates(i, RelayDirection::ToClient, rates);
  }
}

void ChatMesh::SetLinkRates(size_t node, RelayDirection direction, const ImpairmentRates& rates) {
  if (links_[node]) links_[node]->relay.SetRates(direction, rates);
}

RelayCounters ChatMesh::LinkTotals() const {
  RelayCounters total;
  for (const auto& link : links_) {
    if (!link) continue;
    RelayCounters one = link->relay.Counters();
    for (RelayDirection d : {RelayDirection::ToTarget, RelayDirection::ToClient}) {
      DirectionCounters& t = total[d];
      const DirectionCounters& c = one[d];
      t.received += c.received;
      t.sent += c.sent;
      t.dropped += c.dropped;
      t.duplicated += c.duplicated;
      t.reordered += c.reordered;
      t.delayed += c.delayed;
      t.queue_full += c.queue_full;
    }
  }
  return total;
}

bool ChatMesh::WaitUntilLinksQuiet(std::chrono::milliseconds quiet, std::chrono::milliseconds limit) const {
  auto deadline = std::chrono::steady_clock::now() + limit;
  auto passed = [this] {
    RelayCounters t = LinkTotals();
    return t[RelayDirection::ToTarget].received + t[RelayDirection::ToClient].received;
  };
  uint64_t last = passed();
  auto quiet_since = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(100ms);  // sampling the relays' counters
    uint64_t now = passed();
    if (now != last) {
      last = now;
      quiet_since = std::chrono::steady_clock::now();
    } else if (std::chrono::steady_clock::now() - quiet_since >= quiet) {
      return true;
    }
  }
  return false;
}

}  // namespace vorn::soak
