#include "chat/chat.h"

#include <utility>

#include "settings/window_placement.h"

namespace vorn {

Chat::Chat(const ChatPorts& ports, ChatSendFunction send, ChatOptions options)
    : clock_(ports.clock),
      ui_(ports.ui),
      dialogs_(ports.dialogs),
      settings_(ports.settings),
      addresses_(ports.addresses),
      windows_(ports.windows),
      send_(std::move(send)),
      queries_(std::move(options.queries)),
      capabilities_(options.capabilities != nullptr ? *options.capabilities : own_capabilities_),
      progress_lines_(options.progress_lines),
      download_directory_(std::move(options.download_directory)),
      offers_(options.file_directory),
      download_(options.file_directory) {}

Chat::~Chat() {
  if (timer_) ui_.KillTimer(*timer_);
}

void Chat::Emit(const ChatOutput& out) {
  for (const ChatLine& line : out.lines()) {
    if (line.toInput) {
      windows_.PrintToInputWindow(line.input, line.text, line.colour);
    } else {
      windows_.PrintToChannel(line.channel, line.text, line.colour);
    }
  }
  if (out.refreshChatList()) windows_.RefreshChatList();
  // Emit also runs on the receive thread; the beep is the UI's to make.
  if (out.beep()) ui_.Post([&dialogs = dialogs_] { dialogs.Beep(); });
}

void Chat::ReadSettings() {
  beep_on_private_.store(settings_.settings().beepOnPrivate, std::memory_order_relaxed);
  windowed_transfers_.store(settings_.settings().windowedTransfers, std::memory_order_relaxed);
}

// The node's own flags and the chat's: one announcement, the same wherever
// it is carried.
uint32_t Chat::OwnCapabilities() const {
  const uint32_t windowed = windowed_transfers_.load(std::memory_order_relaxed) ? capability::kWindowedTransfer : 0;
  return (capabilities_.Own() & ~capability::kWindowedTransfer) | windowed;
}

void Chat::EnterChatMode(std::string_view channel) {
  if (IsChatModeOn()) return;
  settings_.LoadColors();
  ReadSettings();
  std::string nickname = settings_.settings().nickname;
  PeerAddress local = addresses_.local.Load();
  {
    std::lock_guard lock(mutex_);
    chat_mode_on_ = true;
    peers_.Reset(local, nickname, channel);
  }
  timer_ = ui_.StartTimer(kTimerPeriodMs, [this] { ChatTimerTick(); });
  if (LoadChatListOpen(settings_.profile())) windows_.OpenChatList();
}

void Chat::LeaveChatMode() {
  if (!IsChatModeOn()) return;
  SaveChatListOpen(settings_.profile(), windows_.IsChatListOpen());
  if (timer_) ui_.KillTimer(*timer_);
  timer_.reset();
  WithState([&](ChatOutput& out) {
    chat_mode_on_ = false;
    // Nothing would end it later: no timer runs outside chat mode.
    CancelDownloadLocked(out);
    BroadcastText(ChatSubtype::Quit, "Leaving", out);
    pending_.ReleaseAll();
    correspondents_.clear();
  });
  windows_.CloseChatList();
  windows_.CloseAllChatWindows();
}

void Chat::GoOffline() {
  if (!IsChatModeOn()) return;
  if (timer_) ui_.KillTimer(*timer_);
  timer_.reset();
  const std::vector<std::string> keys = windows_.ChatWindowKeys();
  WithState([&](ChatOutput& out) {
    chat_mode_on_ = false;
    BroadcastText(ChatSubtype::Quit, "Leaving", out);
    pending_.ReleaseAll();
    for (const std::string& key : keys) {
      out.ToChannel(key, "*** Disconnected: this window is offline. Type a line to join its channel again.\r\n",
                    Colour(MessageClass::Server));
    }
    out.RefreshChatList();
  });
}

void Chat::ChatTimerTick() {
  ReadSettings();
  WithState([&](ChatOutput& out) {
    if (!chat_mode_on_) return;
    TickPending(out);
    TickDownload(out);
  });
}

bool Chat::IsChatModeOn() const {
  std::lock_guard lock(mutex_);
  return chat_mode_on_;
}

std::vector<std::string> Chat::MsgCompletionList() const {
  std::lock_guard lock(mutex_);
  return correspondents_;
}

std::vector<ChatListPeer> Chat::ChatListPeers() const {
  std::vector<ChatListPeer> list;
  std::lock_guard lock(mutex_);
  if (!chat_mode_on_) return list;
  for (int i = kLocalPeer; i <= kLastOtherPeer; ++i) {
    const ChatPeer& peer = peers_[i];
    if (peer.address.ip == 0) continue;
    list.push_back({std::string(peer.nickname.view()), std::string(peer.channel.view()), peer.address});
  }
  return list;
}

ChatPeer Chat::Peer(int index) const {
  std::lock_guard lock(mutex_);
  return index >= 0 && index <= kRelayPeer ? peers_[index] : ChatPeer{};
}

bool Chat::IsAway() const {
  std::lock_guard lock(mutex_);
  return away_;
}

std::string Chat::AwayText() const {
  std::lock_guard lock(mutex_);
  return away_text_;
}

bool Chat::IsDownloading() const {
  std::lock_guard lock(mutex_);
  return download_.running();
}

size_t Chat::PendingRecordCount() const {
  std::lock_guard lock(mutex_);
  return pending_.RecordCount();
}

}  // namespace vorn
