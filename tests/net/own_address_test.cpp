#include "net/own_address.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace vorn {
namespace {

constexpr uint32_t kLoopback = 0x7F000001;

int SendNothing(const UdpSocket&, PeerAddress, std::span<const uint8_t> data) { return static_cast<int>(data.size()); }

std::span<const uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

TEST(DetermineOwnAddress, TriesEachSourceInTurn) {
  UdpSocket socket;
  ManualClock clock;
  std::vector<std::string> asked;
  auto answer = [&](std::string name, uint32_t ip) {
    return [&asked, name, ip] {
      asked.push_back(name);
      return ip;
    };
  };
  OwnAddressSources sources{answer("host", 0), answer("interfaces", 0x0A000007),
                            [&](const UdpSocket&, Clock&) { return answer("probe", 0x0A000008)(); }};
  EXPECT_EQ(DetermineOwnAddress("", socket, clock, sources).ip, 0x0A000007u);
  EXPECT_EQ(asked, (std::vector<std::string>{"host", "interfaces"}));
}

TEST(ProbeOwnAddress, TakesTheSourceOfTheFirstTwoByteDatagram) {
  UdpSocket socket;
  ASSERT_TRUE(socket.Open() && socket.Bind(kLoopback, 0) && socket.SetNonBlocking());
  UdpSocket other;
  ASSERT_TRUE(other.Open() && other.Bind(kLoopback, 0));
  PeerAddress target{kLoopback, socket.LocalPort()};
  for (std::string_view text : {"VORN3", "H", "Hi!"}) other.SendTo(target, Bytes(text));
  other.SendTo(target, Bytes("Hi"));

  ManualClock clock;
  EXPECT_EQ(ProbeOwnAddress(socket, clock, SendNothing), kLoopback);
  EXPECT_EQ(clock.NowMs(), 0);  // answered without waiting
}

// A network namespace of the test's own, so the probe's broadcast never
// leaves it: lo, one interface that is down and one that is up, with the
// default route (and so 255.255.255.255) through the latter.
class TestNamespace {
 public:
  static constexpr uint32_t kUpAddress = 0x0A4D0002;  // 10.77.0.2

  TestNamespace() : name_("vorn-probe-" + std::to_string(::getpid())) {
    created_ = Run("ip netns add " + name_);
    ready_ = created_;
    for (const char* step : {"link set lo up", "link add d0 type veth peer name d1", "addr add 10.66.0.1/24 dev d0",
                             "link add u0 type veth peer name u1", "addr add 10.77.0.2/24 dev u0", "link set u1 up",
                             "link set u0 up", "route add default dev u0"})
      ready_ = ready_ && Run("ip -n " + name_ + " " + step);
  }
  ~TestNamespace() {
    if (created_) Run("ip netns delete " + name_);
  }
  bool ready() const { return ready_; }

  // Runs body on a thread that has entered the namespace; false if it could not.
  template <typename Body>
  bool RunInside(Body body) {
    std::atomic<bool> entered = false;
    std::thread thread([&] {
      int fd = ::open(("/var/run/netns/" + name_).c_str(), O_RDONLY | O_CLOEXEC);
      entered = fd >= 0 && ::setns(fd, CLONE_NEWNET) == 0;
      if (fd >= 0) ::close(fd);
      if (entered) body();
    });
    thread.join();
    return entered;
  }

 private:
  static bool Run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

  std::string name_;
  bool created_ = false;
  bool ready_ = false;
};

TEST(OwnAddressInNamespace, InterfacesAndTheProbeFindTheInterfaceThatIsUp) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root for a network namespace";
  if (std::system("ip netns list >/dev/null 2>&1") != 0) GTEST_SKIP() << "ip netns is unavailable";
  TestNamespace netns;
  if (!netns.ready()) GTEST_SKIP() << "could not set up the test namespace";

  uint32_t from_interfaces = 0;
  OwnAddressResult probed;
  bool bound = false;
  ASSERT_TRUE(netns.RunInside([&] {
    from_interfaces = FirstInterfaceAddress();
    UdpSocket socket;
    // The probe hears itself only on the port it broadcasts to.
    bound = socket.Open() && socket.Bind(0, kOwnAddressProbePort) && socket.SetNonBlocking();
    socket.SetBroadcast(true);
    SteadyClock clock;
    OwnAddressSources probe_only;
    probe_only.host_name = nullptr;
    probe_only.interfaces = nullptr;
    if (bound) probed = DetermineOwnAddress("", socket, clock, probe_only);
  }));
  EXPECT_EQ(from_interfaces, TestNamespace::kUpAddress);  // not lo, not the interface that is down
  ASSERT_TRUE(bound);
  EXPECT_EQ(probed.ip, TestNamespace::kUpAddress);
  EXPECT_TRUE(probed.error.empty());
}

}  // namespace
}  // namespace vorn
