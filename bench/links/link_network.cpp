#include "links/link_network.h"

#include <signal.h>

#include <algorithm>
#include <charconv>

namespace vorn::gamebench {
namespace {

constexpr auto kConnectLimit = std::chrono::seconds(40);
constexpr auto kReportLimit = std::chrono::seconds(5);
constexpr auto kStopLimit = std::chrono::seconds(10);
constexpr std::string_view kReportEnd = "clients admitted";
constexpr size_t kTailBytes = 800;

std::string Loopback(uint16_t port) { return "127.0.0.1:" + std::to_string(port); }

// "bytes received N" on the line that follows `from`.
uint64_t BytesReceivedAfter(const std::string& text, size_t from) {
  constexpr std::string_view kField = "bytes received ";
  size_t at = text.find(kField, from);
  uint64_t bytes = 0;
  if (at != std::string::npos) {
    const char* begin = text.data() + at + kField.size();
    std::from_chars(begin, text.data() + text.size(), bytes);
  }
  return bytes;
}

}  // namespace

void RunningGroups::Add(pid_t pid) {
  std::lock_guard lock(mutex_);
  pids_.push_back(pid);
}

void RunningGroups::Remove(pid_t pid) {
  std::lock_guard lock(mutex_);
  std::erase(pids_, pid);
}

void RunningGroups::SetFolder(std::filesystem::path folder) {
  std::lock_guard lock(mutex_);
  folder_ = std::move(folder);
}

void RunningGroups::KillAll() {
  std::lock_guard lock(mutex_);
  for (pid_t pid : pids_) ::kill(-pid, SIGKILL);
  pids_.clear();
  std::error_code ignored;
  if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

uint16_t LinkNetwork::NewPort() {
  uint16_t port = FreeUdpPort();
  for (int attempt = 0; attempt < 20 && std::ranges::find(ports_, port) != ports_.end(); ++attempt)
    port = FreeUdpPort();
  ports_.push_back(port);
  return port;
}

std::unique_ptr<ChildProcess> LinkNetwork::Launch(const std::vector<std::string>& argv) {
  auto child = std::make_unique<ChildProcess>(argv);
  if (child->started()) groups_.Add(child->pid());
  return child;
}

std::unique_ptr<ChildProcess> LinkNetwork::StartVornd(size_t player, uint16_t port, std::vector<std::string> extra) {
  extra.insert(extra.begin(), {"--dosbox-port", std::to_string(dosbox_ports_[player])});
  if (!protection_.empty()) extra.insert(extra.end(), {"--loss-protection", protection_});
  const std::string nick = player == 0 ? "host" : "player" + std::to_string(player);
  std::vector<std::string> argv = VorndCommand(folder_, nick, port, extra);
  argv[0] = tools_.vornd;
  return Launch(argv);
}

std::unique_ptr<ChildProcess> LinkNetwork::StartRelay(size_t player, const LinkProfile& profile, uint16_t port,
                                                      uint16_t proxy_port) {
  return Launch({tools_.impair, "--listen", std::to_string(port), "--target", Loopback(proxy_port), "--drop",
                 std::to_string(profile.drop), "--dup", std::to_string(profile.duplicate), "--reorder",
                 std::to_string(profile.reorder), "--delay-ms", std::to_string(profile.delay_ms), "--jitter-ms",
                 std::to_string(profile.jitter_ms), "--seed", std::to_string(seed_ + player - 1)});
}

bool LinkNetwork::AwaitConnected(ChildProcess& node, const std::string& who, std::string& error) {
  if (node.started() && node.WaitForOutput("Connected to server.", kConnectLimit)) return true;
  error = who + " did not connect to the host within " + std::to_string(kConnectLimit.count()) + " s; it printed:\n" +
          node.Tail(kTailBytes);
  return false;
}

bool LinkNetwork::Start(const LinkProfile& profile, std::string& error) {
  for (uint16_t& port : dosbox_ports_) port = NewPort();
  const uint16_t host_port = NewPort(), proxy_port = NewPort();
  proxy_ = Launch({tools_.proxy, "--port", std::to_string(proxy_port)});
  if (!proxy_->WaitForOutput("listening on")) {
    error = "vorn-proxy did not start:\n" + proxy_->Tail(kTailBytes);
    return false;
  }
  nodes_.push_back(StartVornd(0, host_port, {"--server"}));
  if (!AwaitConnected(*nodes_[0], "the host's own player", error)) return false;
  for (size_t player = 1; player < kPlayers; ++player) {
    const uint16_t relay_port = NewPort();
    relays_.push_back(StartRelay(player, profile, relay_port, proxy_port));
    if (!relays_.back()->WaitForOutput("listening on")) {
      error = "vorn-impair did not start:\n" + relays_.back()->Tail(kTailBytes);
      return false;
    }
    nodes_.push_back(StartVornd(player, NewPort(), {"--proxy", Loopback(relay_port), Loopback(host_port)}));
  }
  for (size_t player = 1; player < kPlayers; ++player)
    if (!AwaitConnected(*nodes_[player], "player " + std::to_string(player), error)) return false;
  return true;
}

void LinkNetwork::RequestRelayReports() const {
  for (const auto& relay : relays_) ::kill(relay->pid(), SIGUSR1);
}

bool LinkNetwork::RelayBytes(int report, uint64_t& bytes, std::string& error) {
  bytes = 0;
  for (auto& relay : relays_) {
    const bool reported = relay->WaitForOutput(kReportEnd, kReportLimit, static_cast<size_t>(report));
    const std::string text = relay->output();
    size_t at = 0;
    for (int i = 0; i < report && at != std::string::npos; ++i) at = text.find("to target:", i == 0 ? 0 : at + 1);
    if (!reported || at == std::string::npos) {
      error = "a relay did not report its counters:\n" + relay->Tail(kTailBytes);
      return false;
    }
    bytes += BytesReceivedAfter(text, at) + BytesReceivedAfter(text, text.find("to client:", at));
  }
  return true;
}

std::string LinkNetwork::Stop() {
  std::string problems;
  auto stop = [this, &problems](std::unique_ptr<ChildProcess>& child, const std::string& who) {
    if (!child || !child->started()) return;
    if (child->Stop(SIGINT, kStopLimit) != 0) problems += who + " did not end cleanly; ";
    groups_.Remove(child->pid());
    child.reset();  // kills its group if it is still there
  };
  for (size_t i = nodes_.size(); i-- > 0;) stop(nodes_[i], i == 0 ? "the host" : "player " + std::to_string(i));
  for (size_t i = 0; i < relays_.size(); ++i) stop(relays_[i], "relay " + std::to_string(i + 1));
  stop(proxy_, "the proxy");
  nodes_.clear();
  relays_.clear();
  return problems;
}

}  // namespace vorn::gamebench
