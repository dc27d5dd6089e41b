#include "chat/chat_test_support.h"

#include <stdlib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "support/test_identity.h"

namespace vorn {

namespace {
std::string Lower(std::string_view key) {
  std::string lower(key);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}
}  // namespace

RecordingChatWindows::RecordingChatWindows(UiLoop& ui)
    : ports(ui, [this](std::string_view key, std::string_view text, uint32_t) {
        std::lock_guard lock(mutex_);
        texts_[Lower(key)] += text;
      }) {}

std::string RecordingChatWindows::Text(std::string_view key) const {
  std::lock_guard lock(mutex_);
  auto it = texts_.find(Lower(key));
  return it != texts_.end() ? it->second : std::string();
}

void RecordingChatWindows::ClearText() {
  std::lock_guard lock(mutex_);
  texts_.clear();
}

UiLoop::TimerId ManualUiLoop::StartTimer(int32_t, Task tick) {
  timers_[next_] = std::move(tick);
  return next_++;
}

void ManualUiLoop::FireTimers() {
  std::map<TimerId, Task> timers = timers_;
  for (auto& [id, tick] : timers) tick();
}

ChatSendFunction ChatNetwork::SenderFor(PeerAddress from) {
  return [this, from](PeerAddress to, std::span<const uint8_t> bytes) {
    Queue(SentDatagram{from, to, std::vector<uint8_t>(bytes.begin(), bytes.end())});
    return static_cast<int>(bytes.size());
  };
}

void ChatNetwork::Queue(SentDatagram datagram) {
  std::lock_guard lock(mutex_);
  if (keep_log) log.push_back(datagram);
  if (drop_rule_ && drop_rule_(datagram)) return;
  auto chance = [&](int percent) { return percent > 0 && static_cast<int>(random_() % 100) < percent; };
  if (chance(loss_percent_)) return;
  int32_t due = clock_ != nullptr ? clock_->NowMs() + latency_ms_ : 0;
  if (chance(duplicate_percent_)) queue_.emplace_back(due, datagram);
  if (chance(reorder_percent_) && !queue_.empty()) {
    queue_.emplace(queue_.end() - 1, due, std::move(datagram));
    return;
  }
  queue_.emplace_back(due, std::move(datagram));
}

void ChatNetwork::Deliver() {
  for (;;) {
    SentDatagram datagram;
    std::vector<Chat*> receivers;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty() || (clock_ != nullptr && queue_.front().first > clock_->NowMs())) return;
      datagram = std::move(queue_.front().second);
      queue_.pop_front();
      if (datagram.to == kServer) {
        for (auto& [address, chat] : nodes_) receivers.push_back(chat);
      } else if (auto it = nodes_.find(PackAddress(datagram.to)); it != nodes_.end()) {
        receivers.push_back(it->second);
      }
    }
    std::span<const uint8_t> bytes(datagram.bytes);
    if (bytes.size() < kChatBodyOffset) continue;
    for (Chat* chat : receivers) chat->OnChatPacket(datagram.from, bytes.subspan(kChatBodyOffset));
  }
}

ChatNode::ChatNode(std::string nickname, uint16_t port, ManualClock& clock, ChatNetwork& net,
                   std::filesystem::path files)
    : network(net), address{0x7F000001, port} {
  WriteTestIdentity(profile, nickname);
  settings.LoadSettings();
  addresses.local.Store(address);
  addresses.server.Store(ChatNetwork::kServer);
  ChatOptions options;
  options.file_directory = std::move(files);
  options.queries.request_player_list = [this] { queries.push_back("players"); };
  options.queries.request_names_list = [this] { queries.push_back("names"); };
  options.queries.request_server_list = [this] { queries.push_back("servers"); };
  options.queries.request_player_info = [this](std::string_view n) { queries.push_back("info " + std::string(n)); };
  chat = std::make_unique<Chat>(ChatPorts{clock, ui, dialogs, settings, addresses, windows.ports},
                                network.SenderFor(address), std::move(options));
  network.Attach(address, *chat);
}

void ChatNode::ExpectPrints(std::string_view line, std::string_view printed, std::string_view window) {
  windows.ClearText();
  Say(line, window);
  EXPECT_EQ(windows.Text(window), printed) << "after " << line;
}

ChatTrio::ChatTrio(std::filesystem::path directory) : files(std::move(directory)) {
  for (ChatNode* node : {&a, &b, &c}) {
    node->chat->JoinChannel("#chat");
    network.Deliver();
  }
  // Hellos made everybody known to the earlier joiners; a line each makes
  // the later ones known too.
  for (ChatNode* node : {&a, &b, &c}) node->Type("hello");
  network.Deliver();
  for (ChatNode* node : {&a, &b, &c}) node->windows.ClearText();
  network.log.clear();
}

void ChatTrio::Tick(int32_t ms) {
  clock.Advance(ms);
  for (ChatNode* node : {&a, &b, &c}) node->ui.FireTimers();
  network.Deliver();
}

int32_t ChatTrio::Run(int32_t ms, const std::function<bool()>& done, int32_t step_ms) {
  int32_t start = clock.NowMs();
  while (!done() && clock.NowMs() - start < ms) Tick(step_ms);
  return clock.NowMs() - start;
}

bool IsSubtype(const SentDatagram& d, ChatSubtype subtype) {
  auto view = ParseChatDatagram(d.bytes);
  return view && view->packet.subtype == subtype;
}

int CountSubtype(const std::vector<SentDatagram>& log, ChatSubtype subtype) {
  return static_cast<int>(std::ranges::count_if(log, [&](const SentDatagram& d) { return IsSubtype(d, subtype); }));
}

}  // namespace vorn
