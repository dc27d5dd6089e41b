// Relay benchmark: three clients on loopback greet a relay and send game
// frames as broadcasts; the relay copies each to every client. Run against
// vornd --server and against the minimal C relay in the same invocation, it
// prints copies per second, the relay's CPU time per frame and one-way
// latency for each payload size and sending mode.
//
// Usage: relay_bench VORND MINIMAL_RELAY [SECONDS_PER_RUN]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "net/messages.h"
#include "platform/udp_socket.h"

extern char** environ;

namespace vorn {
namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kLoopback = 0x7F000001;
constexpr size_t kClients = 3;
constexpr IpxSocket kGameSocket = {0x45, 0x67};

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// The relay under test, run as a child process and stopped by its PID.
class Relay {
 public:
  Relay(std::vector<std::string> argv) {
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Relay() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 200 && ::waitpid(pid_, nullptr, WNOHANG) == 0; ++i) ::usleep(10'000);
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  bool ok() const { return pid_ > 0; }
  // CPU time of all the process's threads, in microseconds. The scheduler's
  // nanosecond count per thread is used where the kernel keeps it: the tick
  // count of /proc/PID/stat moves in 10 ms steps, as coarse as a whole
  // measurement at low rates.
  int64_t CpuMicros() const {
    if (int64_t ns = SchedulerNanos(); ns >= 0) return ns / 1000;
    return TickMicros();
  }

 private:
  int64_t SchedulerNanos() const {
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid_) + "/task";
    std::error_code error;
    int64_t total = 0;
    bool any = false;
    for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
      std::ifstream stat(task.path() / "schedstat");
      int64_t run_ns = 0;
      if (stat >> run_ns) {
        total += run_ns;
        any = true;
      }
    }
    return any ? total : -1;
  }
  int64_t TickMicros() const {
    std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    size_t close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string skip;
    for (int i = 0; i < 11; ++i) fields >> skip;  // state .. cmajflt
    int64_t utime = 0, stime = 0;
    fields >> utime >> stime;
    return (utime + stime) * 1'000'000 / ::sysconf(_SC_CLK_TCK);
  }

  pid_t pid_ = -1;
};

struct Client {
  UdpSocket socket;
  PeerAddress address;
};

struct Result {
  double copies_per_s = 0;
  double cpu_us_per_frame = 0;
  double median_us = 0;
  double p99_us = 0;
  uint64_t frames = 0;
};

enum class Mode { FixedRate, Window16, FlatOut };

bool Greet(std::array<Client, kClients>& clients, PeerAddress relay) {
  std::array<uint8_t, kHelloSize> hello{};
  for (size_t i = 0; i < clients.size(); ++i) {
    std::string nick = "bench" + std::to_string(i);
    size_t size = BuildHello(hello, {nick, "bench@example.org", "Bench", "", kProtocolVersion});
    bool accepted = false;
    for (int attempt = 0; attempt < 50 && !accepted; ++attempt) {
      clients[i].socket.SendTo(relay, std::span(hello).first(size));
      pollfd p{clients[i].socket.fd(), POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      std::array<uint8_t, 2048> in{};
      PeerAddress from;
      bool cut = false;
      int n = clients[i].socket.RecvFrom(in, from, cut);
      accepted = n >= 5 && in[4] == kTypeAccepted;
    }
    if (!accepted) return false;
  }
  return true;
}

// Reads and drops what is still on its way from the previous measurement,
// until the clients have been quiet for 100 ms (at most 2 s), so that late
// copies of a flood are not counted as copies of the next run.
void Drain(std::array<Client, kClients>& clients) {
  std::array<uint8_t, 2048> in{};
  int64_t give_up = NowNs() + 2'000'000'000;
  while (NowNs() < give_up) {
    std::array<pollfd, kClients> polls{};
    for (size_t i = 0; i < kClients; ++i) polls[i] = {clients[i].socket.fd(), POLLIN, 0};
    if (::poll(polls.data(), polls.size(), 100) <= 0) return;
    for (Client& c : clients) {
      PeerAddress from;
      bool cut = false;
      while (c.socket.RecvFrom(in, from, cut) > 0) {
      }
    }
  }
}

// Runs one measurement: frames of payload_bytes from the clients in turn.
Result Measure(std::array<Client, kClients>& clients, PeerAddress relay, const Relay& process, size_t payload_bytes,
               Mode mode, double seconds) {
  Drain(clients);
  std::vector<int64_t> latencies;
  latencies.reserve(1 << 20);
  std::array<uint8_t, 2048> frame{}, in{};
  std::array<uint8_t, 1000> payload{};
  uint64_t sent = 0, copies = 0, own_echoes = 0;
  int64_t start = NowNs(), end = start + static_cast<int64_t>(seconds * 1e9);
  int64_t cpu_start = process.CpuMicros();
  int64_t next_send = start;
  const uint64_t max_frames = 5'000'000;
  while (NowNs() < end && sent < max_frames) {
    bool may_send = mode == Mode::FlatOut || (mode == Mode::Window16 ? sent - own_echoes < 16 : NowNs() >= next_send);
    if (may_send) {
      int64_t now = NowNs();
      std::memcpy(payload.data(), &now, sizeof now);
      size_t size = BuildGameFrame(frame, {kTypeBroadcastFrame, static_cast<int32_t>(sent), kGameSocket, kGameSocket,
                                           std::span<const uint8_t>(payload).first(payload_bytes)});
      Client& sender = clients[sent % kClients];
      if (sender.socket.SendTo(relay, std::span(frame).first(size)) > 0) ++sent;
      next_send += 1'000'000;  // 1000 frames per second
    }
    std::array<pollfd, kClients> polls{};
    for (size_t i = 0; i < kClients; ++i) polls[i] = {clients[i].socket.fd(), POLLIN, 0};
    int timeout = may_send && mode == Mode::FlatOut ? 0 : 1;
    if (::poll(polls.data(), polls.size(), timeout) <= 0) continue;
    for (size_t i = 0; i < kClients; ++i) {
      PeerAddress from;
      bool cut = false;
      int n;
      while ((n = clients[i].socket.RecvFrom(in, from, cut)) > 0) {
        if (n < 11 + 13 + 8 || in[4] != kTypeProxyWrap) continue;  // pings and the rest
        int64_t stamp = 0;
        std::memcpy(&stamp, in.data() + 11 + 13, sizeof stamp);
        latencies.push_back(NowNs() - stamp);
        ++copies;
        PeerAddress first_sender{uint32_t(in[5]) << 24 | uint32_t(in[6]) << 16 | uint32_t(in[7]) << 8 | in[8],
                                 static_cast<uint16_t>(in[9] << 8 | in[10])};
        if (first_sender == clients[i].address) ++own_echoes;
      }
    }
  }
  double elapsed = static_cast<double>(NowNs() - start) / 1e9;
  Result r;
  r.frames = sent;
  r.copies_per_s = static_cast<double>(copies) / elapsed;
  r.cpu_us_per_frame = sent ? static_cast<double>(process.CpuMicros() - cpu_start) / static_cast<double>(sent) : 0;
  std::sort(latencies.begin(), latencies.end());
  if (!latencies.empty()) {
    r.median_us = static_cast<double>(latencies[latencies.size() / 2]) / 1000.0;
    r.p99_us = static_cast<double>(latencies[latencies.size() * 99 / 100]) / 1000.0;
  }
  return r;
}

uint16_t FreePort() {
  UdpSocket probe;
  probe.Open();
  probe.Bind(kLoopback, 0);
  return probe.LocalPort();
}

std::optional<std::array<Result, 6>> RunRelay(const std::vector<std::string>& argv, uint16_t port, double seconds) {
  Relay process(argv);
  if (!process.ok()) return std::nullopt;
  std::array<Client, kClients> clients;
  for (Client& c : clients) {
    if (!c.socket.Open() || !c.socket.Bind(kLoopback, 0)) return std::nullopt;
    c.socket.SetNonBlocking();
    c.socket.SetBufferSizes(1 << 20);
    c.address = {kLoopback, c.socket.LocalPort()};
  }
  PeerAddress relay{kLoopback, port};
  ::usleep(300'000);  // the relay binds its port
  if (!Greet(clients, relay)) return std::nullopt;
  std::array<Result, 6> results;
  size_t k = 0;
  for (size_t payload : {size_t{64}, size_t{600}})
    for (Mode mode : {Mode::FixedRate, Mode::Window16, Mode::FlatOut})
      results[k++] = Measure(clients, relay, process, payload, mode, seconds);
  return results;
}

}  // namespace
}  // namespace vorn

int main(int argc, char** argv) {
  using namespace vorn;
  if (argc < 3) {
    std::fprintf(stderr, "usage: relay_bench VORND MINIMAL_RELAY [SECONDS_PER_RUN]\n");
    return 2;
  }
  double seconds = argc > 3 ? std::atof(argv[3]) : 3.0;
  std::string scratch = "/tmp/vorn-relay-bench-" + std::to_string(::getpid());
  uint16_t vornd_port = FreePort();
  auto vornd = RunRelay(
      {argv[1], "--server", "--config", scratch + ".conf", "--my-ip", "127.0.0.1", "--port", std::to_string(vornd_port),
       "--nick", "host", "--real-name", "Bench Host", "--email", "host@example.org"},
      vornd_port, seconds);
  std::remove((scratch + ".conf").c_str());
  uint16_t minimal_port = FreePort();
  auto minimal = RunRelay({argv[2], std::to_string(minimal_port)}, minimal_port, seconds);
  if (!vornd || !minimal) {
    std::fprintf(stderr, "relay_bench: a relay did not start or admit the clients\n");
    return 1;
  }
  std::printf("%-8s %-10s | %12s %10s %9s %9s | %12s %10s %9s %9s | %6s %6s %8s\n", "payload", "mode", "vornd cp/s",
              "cpu us/fr", "med us", "p99 us", "minimal cp/s", "cpu us/fr", "med us", "p99 us", "cp/s", "cpu", "med");
  size_t k = 0;
  for (size_t payload : {size_t{64}, size_t{600}})
    for (auto mode : {0, 1, 2}) {
      const auto& v = (*vornd)[k];
      const auto& m = (*minimal)[k++];
      std::printf("%-8zu %-10s | %12.0f %10.2f %9.1f %9.1f | %12.0f %10.2f %9.1f %9.1f | %6.2f %6.2f %+8.1f\n", payload,
                  mode == 0   ? "1000/s"
                  : mode == 1 ? "window 16"
                              : "flat out",
                  v.copies_per_s, v.cpu_us_per_frame, v.median_us, v.p99_us, m.copies_per_s, m.cpu_us_per_frame,
                  m.median_us, m.p99_us, m.copies_per_s ? v.copies_per_s / m.copies_per_s : 0,
                  m.cpu_us_per_frame ? v.cpu_us_per_frame / m.cpu_us_per_frame : 0, v.median_us - m.median_us);
    }
  std::printf(
      "ratios: vornd / minimal relay (targets: cp/s at window 16 >= 0.85, cpu <= 1.2, median at 1000/s within +10 "
      "us)\n");
  return 0;
}
