// Real DOS programs play through Vorn: three vornd nodes on loopback (one
// serving, two connected to it), each with a DOSBox running ipxt.com behind
// its DOSBox driver. Every broadcast and every directed reply must reach each
// other DOSBox exactly once, addressed as it was sent (a broadcast to every
// node, a reply to the receiver's), and no DOSBox may see its own broadcasts
// twice.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include "integration/child_process.h"
#include "platform/peer_address.h"
#include "platform/text.h"
#include "qtprofile/qt_profile.h"
#include "settings/dosbox_game.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr size_t kNodes = 3;
constexpr int kBroadcasts = 5;
// ipxt.com sends one broadcast about every half second after GO and ends
// this long after GO, which leaves room for late replies on a busy machine.
constexpr int kIpxtSeconds = 8;
constexpr int kEmulatorLimitS = 70;

// An executable of that name on the PATH.
std::optional<fs::path> FindProgram(const std::string& name) {
  const char* path = ::getenv("PATH");
  std::istringstream folders(path != nullptr ? path : "/usr/bin");
  for (std::string folder; std::getline(folders, folder, ':');)
    if (const fs::path candidate = fs::path(folder) / name; ::access(candidate.c_str(), X_OK) == 0) return candidate;
  return std::nullopt;
}

// dosbox-ipx.conf and ipxt.com: in $VORN_DOSBOX_DIR, else in a shared/dosbox
// folder beside any folder above the test binary or the source tree.
std::optional<fs::path> FindHarnessFiles() {
  std::vector<fs::path> candidates;
  if (const char* dir = ::getenv("VORN_DOSBOX_DIR"); dir != nullptr && *dir != '\0') candidates.emplace_back(dir);
  std::error_code error;
  for (fs::path start : {fs::read_symlink("/proc/self/exe", error), fs::path(__FILE__)})
    for (fs::path up = start.parent_path(); !up.empty() && up != up.root_path(); up = up.parent_path())
      candidates.push_back(up / "shared" / "dosbox");
  for (const fs::path& c : candidates)
    if (fs::is_regular_file(c / "dosbox-ipx.conf", error) && fs::is_regular_file(c / "ipxt.com", error)) return c;
  return std::nullopt;
}

// The text after key up to the next blank.
std::string Field(std::string_view line, std::string_view key) {
  const size_t at = line.find(key);
  if (at == std::string_view::npos) return {};
  const std::string_view rest = line.substr(at + key.size());
  return std::string(rest.substr(0, rest.find(' ')));
}

// The node of an address printed as net/node/socket.
std::string NodeOf(const std::string& address) {
  const size_t first = address.find('/');
  return first == std::string::npos ? "" : address.substr(first + 1, address.find('/', first + 1) - first - 1);
}

// The IPX node of an address as ipxt.com prints it.
std::string NodeText(uint16_t port) { return Format("7F:00:00:01:%02X:%02X", port >> 8, port & 0xFF); }

struct VorndNode {
  uint16_t port = 0;
  uint16_t dosbox_port = 0;
  std::unique_ptr<ChildProcess> process;
};

class DosboxEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    dosbox_ = FindProgram("dosbox");
    timeout_ = FindProgram("timeout");
    files_ = FindHarnessFiles();
    if (!dosbox_) GTEST_SKIP() << "dosbox is not installed (scripts/setup installs it)";
    if (!timeout_) GTEST_SKIP() << "coreutils' timeout is missing";
    if (!files_) GTEST_SKIP() << "no folder with dosbox-ipx.conf and ipxt.com (set VORN_DOSBOX_DIR)";
    ASSERT_FALSE(scratch_.path().empty());
  }

  // Node 0 serves; the others connect to it. Each has its own profile file
  // and HOME, and its DOSBox driver on a port of its own.
  // as_games: the DOSBox port comes from the profile's setting, not a flag.
  void StartNode(size_t index, bool as_games) {
    VorndNode& node = nodes_[index];
    node.port = FreeUdpPort();
    node.dosbox_port = FreeUdpPort();
    const std::string nick = "player" + std::to_string(index);
    const fs::path folder = scratch_.path() / nick;
    fs::create_directories(folder / "home");
    std::vector<std::string> extra = {index == 0 ? "--server" : FormatPeer({host_ip_, nodes_[0].port})};
    if (index == 0) extra.insert(extra.end(), {"--my-ip", FormatIp(host_ip_)});
    if (as_games)
      QtProfile(QString::fromStdString(scratch_.File(nick + ".conf")))
          .WriteString("Misc", "DOSBox Port", std::to_string(node.dosbox_port));
    else
      extra.insert(extra.end(), {"--dosbox-port", std::to_string(node.dosbox_port)});
    node.process = std::make_unique<ChildProcess>(VorndCommand(scratch_, nick, node.port, extra),
                                                  ChildOptions{{"HOME=" + (folder / "home").string()}, folder});
    ASSERT_TRUE(node.process->WaitForOutput("Connected to server.", 15s)) << node.process->output();
  }

  // A DOSBox on a C: drive of its own that connects to the driver and runs
  // "IPXT seconds count" into OUT.TXT, under `timeout`: directly, or as a
  // one-click DOSBox game, through the configuration Vorn generates on top
  // of the harness's headless one.
  void StartDosbox(size_t index, bool as_game) {
    const fs::path folder = scratch_.path() / ("dosbox" + std::to_string(index)), drive = folder / "c";
    fs::create_directories(folder / "home");
    fs::create_directories(drive);
    fs::copy_file(*files_ / "ipxt.com", drive / "IPXT.COM");
    const std::string conf = (*files_ / "dosbox-ipx.conf").string();
    const std::string ipxt = Format("%d %d > OUT.TXT", kIpxtSeconds, kBroadcasts);
    std::vector<std::string> argv = {timeout_->string(), "-k", "5", std::to_string(kEmulatorLimitS)};
    if (as_game) {
      UserGame game{"ipxt", "IPXT.COM", ipxt, drive.string(), ""};
      game.kind = std::string(kDosboxGameKind);
      game.dosbox_config = conf;
      std::string why;
      const std::optional<DosboxStart> start =
          PrepareDosboxGame(game, dosbox_->string(), nodes_[index].dosbox_port, (folder / "vorn.conf").string(), why);
      ASSERT_TRUE(start) << why;
      argv.insert(argv.end(), start->argv.begin(), start->argv.end());
    } else {
      argv.insert(argv.end(), {dosbox_->string(), "-conf", conf});
      for (const std::string& command : {"mount c \"" + drive.string() + "\"", std::string("c:"),
                                         "ipxnet connect 127.0.0.1 " + std::to_string(nodes_[index].dosbox_port),
                                         "ipxt " + ipxt, std::string("exit")})
        argv.insert(argv.end(), {"-c", command});
    }
    // Without the dummy drivers DOSBox draws into the terminal and never
    // ends; it writes its own settings under HOME on a first start.
    dosboxes_[index] = std::make_unique<ChildProcess>(
        argv,
        ChildOptions{{"HOME=" + (folder / "home").string(), "SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy"}, folder});
    ASSERT_TRUE(dosboxes_[index]->started());
  }
  fs::path Drive(size_t index) const { return scratch_.path() / ("dosbox" + std::to_string(index)) / "c"; }

  // host_ip: the host's own address, the one its players dial. Its socket
  // sends from 127.0.0.1 whatever it is, as a host behind 1:1 NAT does, so
  // its games and the players' see it as 127.0.0.1.
  void RunAll(bool as_games, uint32_t host_ip = 0x7F000001) {
    host_ip_ = host_ip;
    for (size_t i = 0; i < kNodes; ++i) ASSERT_NO_FATAL_FAILURE(StartNode(i, as_games));
    for (size_t i = 0; i < kNodes; ++i) ASSERT_NO_FATAL_FAILURE(StartDosbox(i, as_games));
    // Every ipxt.com is connected and listening before any of them sends.
    const auto ready_by = std::chrono::steady_clock::now() + 30s;
    for (size_t i = 0; i < kNodes; ++i) {
      while (!fs::exists(Drive(i) / "READY.FLG") && dosboxes_[i]->Running() &&
             std::chrono::steady_clock::now() < ready_by)
        std::this_thread::sleep_for(20ms);
      ASSERT_TRUE(fs::exists(Drive(i) / "READY.FLG")) << "DOSBox " << i << " never got ready:\n"
                                                      << dosboxes_[i]->output();
    }
    for (size_t i = 0; i < kNodes; ++i) ASSERT_TRUE(std::ofstream(Drive(i) / "GO.FLG") << "go\r\n");
    for (size_t i = 0; i < kNodes; ++i) {
      const std::optional<int> code = dosboxes_[i]->WaitForExit(std::chrono::seconds(kIpxtSeconds + 20));
      ASSERT_TRUE(code.has_value()) << "DOSBox " << i << " did not finish:\n" << dosboxes_[i]->output();
      EXPECT_EQ(*code, 0) << dosboxes_[i]->output();
    }
    for (size_t i = 0; i < kNodes; ++i) CheckOutput(i);
    for (size_t i = kNodes; i-- > 0;) EXPECT_EQ(nodes_[i].process->Stop(SIGINT, 10s), 0) << nodes_[i].process->output();
  }

  // Per sender node, the packets one DOSBox received: "B01".."B05" from
  // everyone, "R01".."R05" from the others only; a broadcast addressed to
  // every node, a reply to the own one. The node DOSBox took at
  // registration is its vornd's own address and port.
  void CheckOutput(size_t index) {
    std::ifstream in(Drive(index) / "OUT.TXT", std::ios::binary);
    const std::string output{std::istreambuf_iterator<char>(in), {}};
    const std::string own_node = NodeText(nodes_[index].port);
    EXPECT_NE(output.find(" node " + own_node), std::string::npos) << output;
    EXPECT_NE(output.find(Format("SUMMARY sent=%d rxB=%d rxR=%d self=%d other=0 bad=0", kBroadcasts, 2 * kBroadcasts,
                                 2 * kBroadcasts, kBroadcasts)),
              std::string::npos)
        << "DOSBox " << index << ":\n"
        << output << dosboxes_[index]->output();
    std::map<std::string, std::multiset<std::string>> received, expected;
    for (size_t sender = 0; sender < kNodes; ++sender) {
      for (int n = 1; n <= kBroadcasts; ++n) {
        expected[NodeText(nodes_[sender].port)].insert(Format("B%02d", n));
        if (sender != index) expected[NodeText(nodes_[sender].port)].insert(Format("R%02d", n));
      }
    }
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
      if (!line.starts_with("RX ")) continue;
      const std::string source = NodeOf(Field(line, "src=")), data = Field(line, "data=");
      received[source].insert(data.substr(0, data.find('\r')));
      EXPECT_EQ(Field(line, " self=") == "1", source == own_node) << line;
      EXPECT_EQ(NodeOf(Field(line, " dst=")), data.starts_with('B') ? "FF:FF:FF:FF:FF:FF" : own_node) << line;
    }
    EXPECT_EQ(received, expected) << "DOSBox " << index << ":\n" << output;
  }

  std::optional<fs::path> dosbox_, timeout_, files_;
  uint32_t host_ip_ = 0x7F000001;
  // Declared before the processes, so it is removed only after they ended.
  TempDir scratch_;
  std::array<VorndNode, kNodes> nodes_;
  std::array<std::unique_ptr<ChildProcess>, kNodes> dosboxes_;
};

// The host is dialled as 127.0.0.2: broadcasts still go both ways,
// addressed to every node.
TEST_F(DosboxEndToEnd, ThreeDosboxesExchangeBroadcastsAndRepliesThroughThreeNodes) { RunAll(false, 0x7F000002); }

// The same game started as the launcher starts a DOSBox game, with the
// nodes' DOSBox ports set in their profiles.
TEST_F(DosboxEndToEnd, OneClickGamesPlayThroughTheGeneratedConfiguration) { RunAll(true); }

}  // namespace
}  // namespace vorn
