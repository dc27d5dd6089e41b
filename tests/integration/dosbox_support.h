#pragma once
// Support for running real DOSBox instances against vornd nodes: finding
// the emulator and the harness files, running it, and reading what ipxt.com
// printed.
#include <chrono>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "integration/child_process.h"
#include "platform/peer_address.h"
#include "settings/dosbox_game.h"
#include "support/temp_dir.h"

namespace vorn::dosbox_e2e {

// What a run needs from the machine. `files` holds dosbox-ipx.conf and
// ipxt.com.
struct DosboxSetup {
  std::filesystem::path dosbox;
  std::filesystem::path timeout;  // bounds every emulator run
  std::filesystem::path files;
};

// Looks in $VORN_DOSBOX_DIR, then beside every folder above the test
// binary, then in the usual places; nullopt with the reason in why.
std::optional<DosboxSetup> FindDosboxSetup(std::string& why);

// One DOSBox that runs ipxt.com on a C: drive of its own, connected to a
// node's DOSBox driver.
class DosboxInstance {
 public:
  // Lays out home/ and c/ (with a copy of ipxt.com) under folder.
  DosboxInstance(const DosboxSetup& setup, std::filesystem::path folder);
  // Starts the emulator under `timeout limit_s`: connect to the driver, run
  // "IPXT seconds count" into OUT.TXT, exit.
  bool Start(uint16_t driver_port, int seconds, int count, int limit_s);
  // The same as a one-click DOSBox game: through the configuration Vorn
  // generates, on top of the harness's headless one.
  bool StartAsGame(uint16_t driver_port, int seconds, int count, int limit_s);
  // ipxt.com has posted its listeners and waits for GO.FLG.
  bool IsReady() const;
  bool Go() const;
  ChildProcess& process() { return *process_; }
  // What ipxt.com printed; complete only once the emulator has ended.
  std::string Output() const;
  std::string Log() const { return process_ ? process_->output() : std::string(); }

 private:
  bool Run(const std::vector<std::string>& dosbox_argv, int limit_s);

  const DosboxSetup& setup_;
  std::filesystem::path folder_;
  std::optional<ChildProcess> process_;
};

// ---- what ipxt.com prints ----

struct IpxtSummary {
  int sent = -1;
  int broadcasts = -1;  // rxB: other nodes' broadcasts received
  int replies = -1;     // rxR: other nodes' directed replies received
  int self = -1;        // packets from the own node
  int other = -1;
  int bad = -1;
  friend bool operator==(const IpxtSummary&, const IpxtSummary&) = default;
  friend std::ostream& operator<<(std::ostream& out, const IpxtSummary& s) {
    return out << "sent=" << s.sent << " rxB=" << s.broadcasts << " rxR=" << s.replies << " self=" << s.self
               << " other=" << s.other << " bad=" << s.bad;
  }
};

// One "RX" line.
struct IpxtPacket {
  std::string source_node;       // "7F:00:00:01:A0:29"
  std::string destination_node;  // "FF:FF:FF:FF:FF:FF" for a broadcast
  bool self = false;
  std::string data;  // kind and number: "B01", "R03"
};

struct IpxtReport {
  std::string own_node;
  std::vector<IpxtPacket> received;
  std::optional<IpxtSummary> summary;
};

IpxtReport ParseIpxtOutput(std::string_view text);

// The IPX node of an address as ipxt.com prints it.
std::string NodeText(PeerAddress address);

}  // namespace vorn::dosbox_e2e
