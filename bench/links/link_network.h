#pragma once
// The processes of one benchmark run, all on 127.0.0.1 and free ports: a
// vornd host with its own player, a vorn-proxy, and three players each
// reaching the proxy through a vorn-impair relay of its own. The proxy makes
// the players look like players behind NAT, so whatever a player sends, to
// the host or to another player, crosses its relay both ways. Every process
// leads a process group of its own and is stopped by its PID.
#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "integration/child_process.h"
#include "links/game_traffic.h"

namespace vorn::gamebench {

struct LinkProfile {
  std::string name;
  int delay_ms = 0;  // each way, on each relay
  int jitter_ms = 0;
  double drop = 0;
  double reorder = 0;
  double duplicate = 0;

  // The mean delay a frame meets on one relay.
  double HopDelayMs() const { return delay_ms + jitter_ms / 2.0; }
};

struct ToolPaths {
  std::string vornd, proxy, impair;
};

// The process groups that are running and the scratch folder, so that an
// interrupted benchmark takes them down with it: the processes lead groups
// of their own and do not see the terminal's Ctrl-C.
class RunningGroups {
 public:
  void Add(pid_t pid);
  void Remove(pid_t pid);
  void SetFolder(std::filesystem::path folder);
  // Kills every group and removes the folder.
  void KillAll();

 private:
  std::mutex mutex_;
  std::vector<pid_t> pids_;
  std::filesystem::path folder_;
};

class LinkNetwork {
 public:
  // folder: where the nodes keep their profiles. protection: the value for
  // vornd's --loss-protection, empty to leave the flag out. The relays take seed, seed + 1 and seed + 2.
  LinkNetwork(ToolPaths tools, const TempDir& folder, std::string protection, uint64_t seed, RunningGroups& groups)
      : tools_(std::move(tools)), folder_(folder), protection_(std::move(protection)), seed_(seed), groups_(groups) {}
  LinkNetwork(const LinkNetwork&) = delete;
  LinkNetwork& operator=(const LinkNetwork&) = delete;

  // Starts every process and waits until each player is connected to the
  // host; false with the reason (and what the laggard printed) in error.
  bool Start(const LinkProfile& profile, std::string& error);
  const std::array<uint16_t, kPlayers>& dosbox_ports() const { return dosbox_ports_; }

  // Asks each relay for its counters (SIGUSR1); callable from any thread.
  void RequestRelayReports() const;
  // The bytes the nodes handed to the relays, summed over the relays and
  // both directions, from each relay's report number `report` (1 = first);
  // false when a relay did not report in time.
  bool RelayBytes(int report, uint64_t& bytes, std::string& error);
  // Stops players, host, relays and proxy, by PID, each within a bounded
  // wait; the text names those that did not end cleanly.
  std::string Stop();

 private:
  // A free port that this run has not handed out yet.
  uint16_t NewPort();
  std::unique_ptr<ChildProcess> Launch(const std::vector<std::string>& argv);
  std::unique_ptr<ChildProcess> StartVornd(size_t player, uint16_t port, std::vector<std::string> extra);
  std::unique_ptr<ChildProcess> StartRelay(size_t player, const LinkProfile& profile, uint16_t port,
                                           uint16_t proxy_port);
  bool AwaitConnected(ChildProcess& node, const std::string& who, std::string& error);

  ToolPaths tools_;
  const TempDir& folder_;
  std::string protection_;
  uint64_t seed_ = 1;
  RunningGroups& groups_;
  std::array<uint16_t, kPlayers> dosbox_ports_{};
  std::vector<uint16_t> ports_;
  std::unique_ptr<ChildProcess> proxy_;
  std::vector<std::unique_ptr<ChildProcess>> relays_;
  std::vector<std::unique_ptr<ChildProcess>> nodes_;  // the host first
};

}  // namespace vorn::gamebench
