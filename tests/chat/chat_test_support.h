#pragma once
// Chat nodes wired to each other in memory: a recording window port, a UI
// loop whose timers the test fires, and a network that queues datagrams,
// relays 'B' frames from the server address to every node and can drop
// datagrams by rule or at random (seeded).
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "chat/chat.h"
#include "chat/headless_chat_windows.h"
#include "node/null_ports.h"
#include "platform/memory_profile.h"
#include "platform/text.h"
#include "support/temp_dir.h"
#include "support/text_log.h"

namespace vorn {

// The chat windows vornd has, each window's text recorded by its key.
class RecordingChatWindows {
 public:
  explicit RecordingChatWindows(UiLoop& ui);

  ChatInputId Input(std::string_view key) const { return ports.InputOf(key); }
  std::string Text(std::string_view key) const;  // a chat window's text, also a closed one's
  std::string MessageText() const { return Text("Server Messages"); }
  void ClearText();

  HeadlessChatWindows ports;

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::string> texts_;  // by key in lower case
};

class QuietDialogs final : public Dialogs {
 public:
  void ShowMessage(std::string_view, std::string_view) override {}
  bool AskYesNo(std::string_view, std::string_view) override { return false; }
  void Beep() override { ++beeps; }
  std::unique_ptr<ProgressDialog> CreateProgressDialog() override { return nullptr; }
  int beeps = 0;
};

// Timers run only when the test fires them.
class ManualUiLoop final : public UiLoop {
 public:
  // Held tasks wait for RunHeld, as on a UI thread busy elsewhere.
  void Post(Task task) override { hold_posts ? held.push_back(std::move(task)) : task(); }
  void RunSync(const Task& task) override { task(); }
  TimerId StartTimer(int32_t, Task tick) override;
  void KillTimer(TimerId id) override { timers_.erase(id); }
  void RunModal(const std::function<bool()>&) override {}
  void FireTimers();
  void RunHeld() {
    for (Task& task : std::exchange(held, {})) task();
  }
  bool hold_posts = false;
  std::vector<Task> held;

 private:
  std::map<TimerId, Task> timers_;
  TimerId next_ = 1;
};

struct SentDatagram {
  PeerAddress from;
  PeerAddress to;
  std::vector<uint8_t> bytes;
  ChatDatagramView view() const { return *ParseChatDatagram(bytes); }
};

class ChatNetwork {
 public:
  static constexpr PeerAddress kServer{0x7F000001, 2213};
  using DropRule = std::function<bool(const SentDatagram&)>;

  void Attach(PeerAddress address, Chat& chat) { nodes_[PackAddress(address)] = &chat; }
  void Detach(PeerAddress address) { nodes_.erase(PackAddress(address)); }
  ChatSendFunction SenderFor(PeerAddress from);
  // Delivers queued datagrams (and what they cause) until none is left.
  void Deliver();
  void SetDropRule(DropRule rule) { drop_rule_ = std::move(rule); }
  // Each datagram arrives one_way_ms after it left: Deliver passes on only
  // those whose time has come.
  void SetLatency(const ManualClock& clock, int32_t one_way_ms) {
    clock_ = &clock;
    latency_ms_ = one_way_ms;
  }
  // Loses, duplicates and reorders (puts before the datagram queued last)
  // at these rates, seeded.
  void SetLossPercent(int percent, uint32_t seed, int duplicate_percent = 0, int reorder_percent = 0) {
    loss_percent_ = percent;
    duplicate_percent_ = duplicate_percent;
    reorder_percent_ = reorder_percent;
    random_.seed(seed);
  }
  // Every datagram sent, before any loss; off for large transfers.
  std::vector<SentDatagram> log;
  bool keep_log = true;

 private:
  static uint64_t PackAddress(PeerAddress a) { return uint64_t{a.ip} << 16 | a.port; }
  void Queue(SentDatagram datagram);

  std::mutex mutex_;
  std::deque<std::pair<int32_t, SentDatagram>> queue_;  // due time, datagram
  const ManualClock* clock_ = nullptr;
  int32_t latency_ms_ = 0;
  std::map<uint64_t, Chat*> nodes_;
  DropRule drop_rule_;
  int loss_percent_ = 0;
  int duplicate_percent_ = 0;
  int reorder_percent_ = 0;
  std::mt19937 random_{1};
};

// One chat user with everything its chat needs.
struct ChatNode {
  ChatNode(std::string nickname, uint16_t port, ManualClock& clock, ChatNetwork& network,
           std::filesystem::path files = {});
  ~ChatNode() { network.Detach(address); }

  ChatNetwork& network;
  PeerAddress address;
  MemoryProfile profile;
  QuietDialogs dialogs;
  NullUserInfo user_info;
  SettingsStore settings{profile, dialogs, user_info};
  SharedAddresses addresses;
  ManualUiLoop ui;
  RecordingChatWindows windows{ui};
  std::vector<std::string> queries;
  std::unique_ptr<Chat> chat;

  void Type(std::string_view line, std::string_view window = "#chat") {
    chat->ExecuteChatLine(line, windows.Input(window));
  }
  // Types line and lets the network deliver what it caused.
  void Say(std::string_view line, std::string_view window = "#chat") {
    Type(line, window);
    network.Deliver();
  }
  // Types line into window and expects it (and what it sent, once
  // delivered) to have printed exactly this there.
  void ExpectPrints(std::string_view line, std::string_view printed, std::string_view window = "#chat");
};

// Three users A, B and C (ports 5001 to 5003) who joined "#chat" and know
// each other, on one manual clock.
struct ChatTrio {
  explicit ChatTrio(std::filesystem::path directory = {});
  // Moves the clock and fires every node's chat timer, delivering after; by
  // default past the longest resend interval, so every unacknowledged
  // packet leaves again.
  void Tick(int32_t ms = RoundTripEstimator::kMaxIntervalMs + 1);

  // Time passes in steps of step_ms; timers fire and datagrams arrive in
  // between, until done() or ms have passed. The time taken.
  int32_t Run(
      int32_t ms, const std::function<bool()>& done = [] { return false; }, int32_t step_ms = 5);

  std::filesystem::path files;
  ManualClock clock;
  ChatNetwork network;
  ChatNode a{"Alice", 5001, clock, network, files};
  ChatNode b{"Bob", 5002, clock, network, files};
  ChatNode c{"Carol", 5003, clock, network, files};
};

bool IsSubtype(const SentDatagram& d, ChatSubtype subtype);
// A file of size bytes of a pattern that no shift of it repeats, and a
// file's bytes.
inline void WriteFile(const std::filesystem::path& path, size_t size) {
  std::ofstream out(path, std::ios::binary);
  for (size_t i = 0; i < size; ++i) out.put(static_cast<char>((i * 7 + i / 251) & 0xFF));
}
inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int CountSubtype(const std::vector<SentDatagram>& log, ChatSubtype subtype);

}  // namespace vorn
