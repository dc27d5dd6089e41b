#include "chat/chat.h"

#include <utility>

#include "platform/text.h"
#include "settings/window_placement.h"

namespace vorn {

Chat::Chat(const ChatPorts& ports, ChatSendFunction send, ChatOptions options)
    : context_(ports, std::move(send), std::move(options.queries), options.capabilities, options.progress_lines),
      state_(options.file_directory),
      delivery_(context_),
      transfer_(context_, delivery_),
      events_(context_, state_, delivery_, transfer_),
      commands_(*this, context_, state_, delivery_, transfer_, std::move(options.download_directory)) {}

Chat::~Chat() {
  if (timer_) context_.ui.KillTimer(*timer_);
}

bool Chat::SendChat(int peer_index, ChatSubtype subtype, std::span<const uint8_t> payload) {
  bool sent = false;
  WithState([&](ChatLocked& s, ChatOutput& out) { sent = delivery_.Send(s, peer_index, subtype, payload, out); });
  return sent;
}

void Chat::BroadcastChat(ChatSubtype subtype, std::span<const uint8_t> payload) {
  WithState([&](ChatLocked& s, ChatOutput& out) { delivery_.Broadcast(s, subtype, payload, out); });
}

void Chat::EnterChatMode(std::string_view channel) {
  if (IsChatModeOn()) return;
  context_.settings.LoadColors();
  context_.ReadSettings();
  std::string nickname = context_.settings.settings().nickname;
  PeerAddress local = context_.addresses.local.Load();
  {
    ChatLocked s = state_.Lock();
    s->chatModeOn = true;
    s->peers.Reset(local, nickname, channel);
  }
  StartTimer(kLongestTimerSleepMs);
  if (LoadChatListOpen(context_.settings.profile())) context_.windows.OpenChatList();
}

void Chat::EndChatMode(ChatLocked& s, ChatOutput& out) {
  s->chatModeOn = false;
  delivery_.BroadcastText(s, ChatSubtype::Quit, "Leaving", out);
  s->pending.ReleaseAll();
}

void Chat::LeaveChatMode() {
  if (!IsChatModeOn()) return;
  SaveChatListOpen(context_.settings.profile(), context_.windows.IsChatListOpen());
  StopTimer();
  WithState([&](ChatLocked& s, ChatOutput& out) {
    // Nothing would end it later: no timer runs outside chat mode.
    transfer_.CancelDownload(s, out);
    EndChatMode(s, out);
    s->correspondents.clear();
  });
  context_.windows.CloseChatList();
  context_.windows.CloseAllChatWindows();
}

void Chat::GoOffline() {
  if (!IsChatModeOn()) return;
  StopTimer();
  const std::vector<std::string> keys = context_.windows.ChatWindowKeys();
  WithState([&](ChatLocked& s, ChatOutput& out) {
    EndChatMode(s, out);
    for (const std::string& key : keys) {
      out.ToChannel(key, "*** Disconnected: this window is offline. Type a line to join its channel again.\r\n",
                    context_.Colour(MessageClass::Server));
    }
    out.RefreshChatList();
  });
}

void Chat::ChatTimerTick() {
  context_.ReadSettings();
  int32_t sleep_ms = kLongestTimerSleepMs;
  WithState([&](ChatLocked& s, ChatOutput& out) {
    if (!s->chatModeOn) return;
    delivery_.Tick(s, out);
    transfer_.Tick(s, out);
    sleep_ms = transfer_.UntilDueMs(s, delivery_.UntilDueMs(s, sleep_ms));
  });
  if (timer_ && sleep_ms != timer_sleep_ms_) StartTimer(sleep_ms);
}

void Chat::StartTimer(int32_t sleep_ms) {
  StopTimer();
  timer_ = context_.ui.StartTimer(sleep_ms, [this] { ChatTimerTick(); });
  timer_sleep_ms_ = sleep_ms;
}

void Chat::StopTimer() {
  if (timer_) context_.ui.KillTimer(*timer_);
  timer_.reset();
}

void Chat::JoinChannel(std::string_view key) {
  bool was_on = IsChatModeOn();
  if (!was_on) EnterChatMode(key);
  if (context_.windows.FindChatWindow(key)) return context_.windows.BringToTop(key);
  context_.windows.OpenChatWindow(key);
  commands_.AnnounceJoin(key, was_on);
  context_.windows.BringToTop(key);
}

void Chat::SetCurrentChannel(std::string_view key) { state_.Lock()->peers.local().channel.Assign(key); }

void Chat::LeaveCurrentChannel(std::string_view key) {
  ChatLocked s = state_.Lock();
  if (EqualsIgnoreCase(s->peers.local().channel.view(), Truncate(key, kChatNameMax))) s->peers.local().channel.Clear();
}

void Chat::AnnounceOffers() {
  WithState([&](ChatLocked& s, ChatOutput& out) { transfer_.AnnounceOffers(s, out); });
}

void Chat::CancelDownload() {
  WithState([&](ChatLocked& s, ChatOutput& out) { transfer_.CancelDownload(s, out); });
}

bool Chat::IsChatModeOn() const { return state_.Lock()->chatModeOn; }

std::vector<std::string> Chat::MsgCompletionList() const { return state_.Lock()->correspondents; }

std::vector<ChatListPeer> Chat::ChatListPeers() const {
  std::vector<ChatListPeer> list;
  ChatLocked s = state_.Lock();
  if (!s->chatModeOn) return list;
  for (int i = kLocalPeer; i <= kLastOtherPeer; ++i) {
    const ChatPeer& peer = s->peers[i];
    if (peer.address.ip == 0) continue;
    list.push_back({std::string(peer.nickname.view()), std::string(peer.channel.view()), peer.address});
  }
  return list;
}

ChatPeer Chat::Peer(int index) const {
  ChatLocked s = state_.Lock();
  return index >= 0 && index <= kRelayPeer ? s->peers[index] : ChatPeer{};
}

bool Chat::IsAway() const { return state_.Lock()->away; }

std::string Chat::AwayText() const { return state_.Lock()->awayText; }

bool Chat::IsDownloading() const { return state_.Lock()->download.running(); }

std::vector<TransferStatus> Chat::Transfers() const {
  ChatLocked s = state_.Lock();
  return transfer_.Transfers(s);
}

size_t Chat::PendingRecordCount() const { return state_.Lock()->pending.RecordCount(); }

}  // namespace vorn
