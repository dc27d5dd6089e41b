// Chat file transfer on loopback: two chats on 127.0.0.1 with real sockets
// and receive threads. Prints the round trip of one acknowledged 500-byte
// fragment (a plain socket acting as the offering side) next to the rate of
// a whole transfer between the two chats.
//
// With --impaired, the downloader reaches the offering side through the
// impairing relay (25 ms each way, so a 50 ms round trip) and 1 MB is sent
// with no loss and with 10% loss each way, windowed transfers on and off.
//
// Usage: chat_transfer_bench [FILE_MEGABYTES] [ROUND_TRIPS]
//        chat_transfer_bench --impaired
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "chat/chat.h"
#include "impair/impairing_relay.h"
#include "node/null_ports.h"
#include "platform/memory_profile.h"
#include "platform/udp_socket.h"

namespace vorn {
namespace {

constexpr uint32_t kLoopback = 0x7F000001;
constexpr auto kTimeLimit = std::chrono::seconds(300);
// The bench fires the chat timer itself, this often.
constexpr int32_t kTickMs = 50;
using Steady = std::chrono::steady_clock;

// The main thread is the UI thread: it fires the chat timer itself.
class BenchLoop final : public UiLoop {
 public:
  void Post(Task task) override { task(); }
  void RunSync(const Task& task) override { task(); }
  TimerId StartTimer(int32_t, Task tick) override {
    tick_ = std::move(tick);
    return 1;
  }
  void KillTimer(TimerId) override { tick_ = nullptr; }
  void RunModal(const std::function<bool()>&) override {}
  void Fire() {
    Task tick = tick_;  // a copy: the tick may set the timer again
    if (tick) tick();
  }

 private:
  Task tick_;
};

// One "#chat" window; remembers when a download completed.
class BenchWindows final : public SilentChatWindows {
 public:
  bool IsChatListOpen() const override { return true; }  // no join notices
  // Not open yet: joining opens it and greets the other chat.
  bool FindChatWindow(std::string_view) const override { return false; }
  void PrintToChannel(std::string_view, std::string_view text, uint32_t) override { Note(text); }
  void PrintToInputWindow(ChatInputId, std::string_view text, uint32_t) override { Note(text); }

  // every_tick runs as often as the chat timer would.
  bool WaitComplete(const std::function<void()>& every_tick) {
    std::unique_lock lock(mutex_);
    Steady::time_point end = Steady::now() + kTimeLimit;
    while (!complete_ && Steady::now() < end) {
      if (!changed_.wait_for(lock, std::chrono::milliseconds(kTickMs), [&] { return complete_; })) {
        lock.unlock();
        every_tick();
        lock.lock();
      }
    }
    bool complete = complete_;
    complete_ = false;
    return complete;
  }

 private:
  void Note(std::string_view text) {
    if (text.find("is complete") == std::string_view::npos) return;
    std::lock_guard lock(mutex_);
    complete_ = true;
    changed_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  bool complete_ = false;
};

// A chat on its own loopback socket with its receive thread.
struct BenchNode {
  BenchNode(const std::string& nickname, const std::filesystem::path& files, bool windowed = true) {
    profile.WriteInt("Misc", "Windowed Transfers", windowed ? 1 : 0);
    profile.WriteString("User Info", "NickName", nickname);
    profile.WriteString("User Info", "RealName", nickname);
    profile.WriteString("User Info", "email", nickname + "@example.org");
    profile.WriteInt("Misc", "BeepOnPrivate", 0);
    settings.LoadSettings();
    socket.Open();
    socket.Bind(kLoopback, 0);
    socket.SetNonBlocking();
    addresses.local.Store({kLoopback, socket.LocalPort()});
    ChatOptions options;
    options.file_directory = files;
    chat = std::make_unique<Chat>(
        ChatPorts{clock, loop, dialogs, settings, addresses, windows},
        [this](PeerAddress to, std::span<const uint8_t> bytes) { return socket.SendTo(to, bytes); }, options);
    receiver = std::jthread([this](std::stop_token stop) { Receive(stop); });
  }
  ~BenchNode() {
    receiver.request_stop();
    wake.Raise();
  }
  PeerAddress address() const { return addresses.local.Load(); }

  void Receive(std::stop_token stop) {
    std::array<uint8_t, 2048> buffer{};
    while (!stop.stop_requested()) {
      if (WaitReadable(socket, wake, 500) != WaitResult::Readable) continue;
      PeerAddress from;
      bool truncated = false;
      int got = 0;
      while ((got = socket.RecvFrom(buffer, from, truncated)) > 0) {
        if (!truncated && static_cast<size_t>(got) > kChatBodyOffset) {
          chat->OnChatPacket(
              from, std::span<const uint8_t>(buffer.data(), static_cast<size_t>(got)).subspan(kChatBodyOffset));
        }
      }
    }
  }

  SteadyClock clock;
  BenchLoop loop;
  NullDialogs dialogs;
  NullUserInfo user_info;
  MemoryProfile profile;
  SettingsStore settings{profile, dialogs, user_info};
  SharedAddresses addresses;
  BenchWindows windows;
  UdpSocket socket;
  WakeSignal wake;
  std::unique_ptr<Chat> chat;
  std::jthread receiver;
};

bool WaitUntil(const std::function<bool()>& done) {
  Steady::time_point end = Steady::now() + std::chrono::seconds(5);
  while (!done() && Steady::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return done();
}

// A plain socket that offers a file to the downloader by hand: each
// fragment waits for its acknowledgement, which times the round trip.
class FragmentProbe {
 public:
  FragmentProbe() {
    socket_.Open();
    socket_.Bind(kLoopback, 0);
  }
  PeerAddress address() const { return {kLoopback, socket_.LocalPort()}; }

  bool Send(PeerAddress to, ChatSubtype subtype, std::span<const uint8_t> payload) {
    std::array<uint8_t, kMaxChatPacket> packet{};
    size_t size = BuildChatPacket(packet, {'0', ++serial_, subtype, "#chat", "Probe", serial_}, payload);
    return socket_.SendTo(to, std::span<const uint8_t>(packet.data(), size)) > 0;
  }
  // The next datagram of this subtype; its serial is acknowledged unless
  // it is an acknowledgement itself.
  bool Await(PeerAddress from, ChatSubtype subtype) {
    std::array<uint8_t, 2048> buffer{};
    for (int waits = 0; waits < 100; ++waits) {
      if (WaitReadable(socket_, wake_, 100) != WaitResult::Readable) continue;
      PeerAddress sender;
      bool truncated = false;
      int got = socket_.RecvFrom(buffer, sender, truncated);
      auto view =
          got > 0 ? ParseChatDatagram(std::span<const uint8_t>(buffer.data(), static_cast<size_t>(got))) : std::nullopt;
      if (!view || view->packet.subtype != subtype) continue;
      if (subtype != ChatSubtype::Ack) {
        std::string serial = std::to_string(view->packet.serial);
        Send(from, ChatSubtype::Ack,
             std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(serial.c_str()), serial.size() + 1));
      }
      return true;
    }
    return false;
  }

 private:
  UdpSocket socket_;
  WakeSignal wake_;
  uint32_t serial_ = 0;
};

std::vector<double> FragmentRoundTrips(BenchNode& downloader, int rounds) {
  FragmentProbe probe;
  std::vector<double> micros;
  const std::array<uint8_t, 1> none{};
  probe.Send(downloader.address(), ChatSubtype::Hello, std::span<const uint8_t>(none.data(), 0));
  if (!probe.Await(downloader.address(), ChatSubtype::Ack)) return micros;
  downloader.chat->ExecuteChatLine("/xget Probe 0 probe.bin", 1);
  if (!probe.Await(downloader.address(), ChatSubtype::FileRequest)) return micros;
  std::array<uint8_t, kMaxFragmentPayload> fragment{};
  std::array<uint8_t, kMaxFragmentData> data{};
  BuildFileFragment(fragment, 0, data);
  for (int i = 0; i < rounds; ++i) {
    Steady::time_point start = Steady::now();
    if (!probe.Send(downloader.address(), ChatSubtype::FileFragment, fragment)) break;
    if (!probe.Await(downloader.address(), ChatSubtype::Ack)) break;
    micros.push_back(std::chrono::duration<double, std::micro>(Steady::now() - start).count());
  }
  size_t last = BuildFileFragment(fragment, kMaxFragmentData, std::span<const uint8_t>(data.data(), 0));
  probe.Send(downloader.address(), ChatSubtype::FileFragment, std::span<const uint8_t>(fragment.data(), last));
  probe.Await(downloader.address(), ChatSubtype::Ack);
  if (!downloader.windows.WaitComplete([] {})) micros.clear();
  return micros;
}

double Percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  return values[static_cast<size_t>(fraction * static_cast<double>(values.size() - 1))];
}

int Run(int megabytes, int rounds) {
  char pattern[] = "/tmp/vorn_chat_bench_XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return 1;
  const std::filesystem::path files = pattern;
  const size_t file_size = static_cast<size_t>(megabytes) * 1000 * 1000 + 123;
  {
    std::ofstream out(files / "offered.bin", std::ios::binary);
    for (size_t i = 0; i < file_size; ++i) out.put(static_cast<char>(i * 31));
  }
  int status = 1;
  {
    BenchNode offering("Offering", files);
    BenchNode fetching("Fetching", files);
    offering.chat->JoinChannel("#chat");
    // The fetching side's "server" is the offering side: its join greeting
    // introduces the two chats to each other.
    fetching.addresses.server.Store(offering.address());
    fetching.chat->JoinChannel("#chat");
    if (!WaitUntil([&] { return !offering.chat->Peer(1).IsFree() && !fetching.chat->Peer(1).IsFree(); })) {
      std::fprintf(stderr, "the chats did not find each other\n");
    } else {
      std::vector<double> trips = FragmentRoundTrips(fetching, rounds);
      offering.chat->ExecuteChatLine("/offer offered.bin", 1);
      Steady::time_point start = Steady::now();
      fetching.chat->ExecuteChatLine("/get Offering 0 fetched.bin", 1);
      bool complete = fetching.windows.WaitComplete([&] {
        offering.loop.Fire();
        fetching.loop.Fire();
      });
      double seconds = std::chrono::duration<double>(Steady::now() - start).count();
      double fragments = static_cast<double>(file_size / kMaxFragmentData + 1);
      if (trips.empty() || !complete || std::filesystem::file_size(files / "fetched.bin") != file_size) {
        std::fprintf(stderr, "transfer failed (%zu round trips measured)\n", trips.size());
      } else {
        std::printf("fragment round trip (%zu): median %.1f us, p99 %.1f us\n", trips.size(), Percentile(trips, 0.5),
                    Percentile(trips, 0.99));
        std::printf("transfer of %zu bytes: %.3f s, %.0f bytes/s, %.1f us per fragment\n", file_size, seconds,
                    static_cast<double>(file_size) / seconds, seconds * 1e6 / fragments);
        status = 0;
      }
    }
  }
  std::filesystem::remove_all(files);
  return status;
}

// 1 MB from offering to fetching, fetching reaching it through the relay.
double ImpairedTransferSeconds(const std::filesystem::path& files, double loss, bool windowed) {
  BenchNode offering("Offering", files, windowed);
  BenchNode fetching("Fetching", files, windowed);
  SteadyClock relay_clock;
  ImpairingRelay relay(relay_clock);
  RelayConfig config;
  config.target = offering.address();
  config.max_delayed = 2048;
  for (RelayDirection d : {RelayDirection::ToTarget, RelayDirection::ToClient}) {
    config.rates[static_cast<size_t>(d)] = ImpairmentRates{loss, 0, 0, 25, 0};
  }
  std::string error;
  if (!relay.Open(config, error)) return -1;
  std::jthread relay_thread([&] { relay.Run(); });
  offering.chat->JoinChannel("#chat");
  fetching.addresses.server.Store(relay.LocalAddress());
  fetching.chat->JoinChannel("#chat");
  double seconds = -1;
  if (WaitUntil([&] { return !offering.chat->Peer(1).IsFree() && !fetching.chat->Peer(1).IsFree(); })) {
    offering.chat->ExecuteChatLine("/offer offered.bin", 1);
    std::filesystem::remove(files / "fetched.bin");
    Steady::time_point start = Steady::now();
    fetching.chat->ExecuteChatLine("/get Offering 0 fetched.bin", 1);
    bool complete = fetching.windows.WaitComplete([&] {
      offering.loop.Fire();
      fetching.loop.Fire();
    });
    if (complete) seconds = std::chrono::duration<double>(Steady::now() - start).count();
  }
  relay.Stop();
  return seconds;
}

int RunImpaired() {
  char pattern[] = "/tmp/vorn_chat_bench_XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return 1;
  const std::filesystem::path files = pattern;
  const size_t file_size = 1000 * 1000;
  {
    std::ofstream out(files / "offered.bin", std::ios::binary);
    for (size_t i = 0; i < file_size; ++i) out.put(static_cast<char>(i * 31));
  }
  int status = 0;
  for (bool windowed : {true, false}) {
    for (double loss : {0.0, 0.1}) {
      double seconds = ImpairedTransferSeconds(files, loss, windowed);
      bool whole = seconds > 0 && std::filesystem::file_size(files / "fetched.bin") == file_size;
      if (!whole) status = 1;
      std::printf("1 MB, 50 ms round trip, %2.0f%% loss each way, window %-3s: %s %.1f s\n", loss * 100,
                  windowed ? "on" : "off", whole ? "" : "FAILED", seconds);
      std::fflush(stdout);
    }
  }
  std::filesystem::remove_all(files);
  return status;
}

}  // namespace
}  // namespace vorn

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--impaired") return vorn::RunImpaired();
  int megabytes = argc > 1 ? std::clamp(std::atoi(argv[1]), 1, 50) : 4;
  int rounds = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, 100000) : 2000;
  return vorn::Run(megabytes, rounds);
}
