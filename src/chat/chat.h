#pragma once
// Chat between the users of a server, peer to peer. Chat is the face the
// rest of the program sees; the work is done by its parts, over one guarded
// state (ChatState, chat_state.h):
//   ChatDelivery  packets kept until acknowledged, resent on the timer;
//                 acknowledgements and the repeat filters of what arrives
//   ChatEvents    what each inbound packet shows and answers
//   ChatCommands  the interpreter of the input lines
//   ChatTransfer  file offers, uploads and the download
//
// Threads: the UI thread runs the commands, chat mode changes and the chat
// timer; the receive thread runs OnChatPacket. A function that takes a
// ChatState::Locked& runs with the state lock held. Text, window requests
// and datagrams are gathered under it and carried out after it is released
// (chat_context.h says in which order and under which lock).
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "chat/chat_commands.h"
#include "chat/chat_context.h"
#include "chat/chat_delivery.h"
#include "chat/chat_events.h"
#include "chat/chat_list_model.h"
#include "chat/chat_state.h"
#include "chat/chat_transfer.h"

namespace vorn {

struct ChatOptions {
  // Relative names of offered and downloaded files are taken from here;
  // empty: the process's current directory.
  std::filesystem::path file_directory;
  ChatQueryHooks queries;
  // What peers announced beyond the protocol, shared with the node's other
  // extensions; none: the chat keeps a table of its own.
  PeerCapabilities* capabilities = nullptr;
  // A running download prints how far it is every 2 s.
  bool progress_lines = false;
  // UI thread, before a download starts: the folder its relative name is
  // taken from; none: file_directory.
  std::function<std::filesystem::path()> download_directory;
};

class Chat {
 public:
  // The chat timer wakes when the next kept packet or the download is due,
  // and at least this often: a packet kept since the last tick is due no
  // sooner than this after it left, so the thread that sent it need not
  // wake the timer.
  static constexpr int32_t kLongestTimerSleepMs = RoundTripEstimator::kMinIntervalMs;
  static constexpr int32_t kDropPeerAfterMs = ChatDelivery::kDropPeerAfterMs;
  static constexpr size_t kMaxCorrespondents = ChatData::kMaxCorrespondents;

  Chat(const ChatPorts& ports, ChatSendFunction send, ChatOptions options = {});
  ~Chat();
  Chat(const Chat&) = delete;
  Chat& operator=(const Chat&) = delete;

  // Receive thread: a chat frame from sender, from offset 13 of the frame.
  void OnChatPacket(PeerAddress sender, std::span<const uint8_t> body) { events_.OnChatPacket(sender, body); }

  // UI thread.
  // False, sending nothing, for a payload over 600 bytes, a free entry or
  // when the pending list is full.
  bool SendChat(int peer_index, ChatSubtype subtype, std::span<const uint8_t> payload);
  // To every known user, the local one included, whose own copy is what
  // shows the line here.
  void BroadcastChat(ChatSubtype subtype, std::span<const uint8_t> payload);
  void EnterChatMode(std::string_view channel);
  void LeaveChatMode();
  // The server connection ended: chat mode ends as on leaving, but the chat
  // windows stay open with their text (their logs go on) and say they are
  // offline; a line typed into one of them joins its channel again.
  void GoOffline();
  void ChatTimerTick();
  void ExecuteChatLine(std::string_view line, ChatInputId input) { commands_.Execute(line, input); }
  void JoinChannel(std::string_view key);
  // The channel of the chat window the user activated: the one the next
  // packets carry. Leaving names the window that closes; the channel
  // empties only when it is still the current one.
  void SetCurrentChannel(std::string_view key);
  void LeaveCurrentChannel(std::string_view key);
  // Errors are printed only when an input line is given.
  void PingUser(std::string_view target, std::optional<ChatInputId> input) { commands_.PingUser(target, input); }
  void AnnounceOffers();

  // Any thread: copies of the state.
  bool IsChatModeOn() const;
  std::vector<std::string> MsgCompletionList() const;
  // The users the chat list shows; none while chat mode is off.
  std::vector<ChatListPeer> ChatListPeers() const;
  ChatPeer Peer(int index) const;
  bool IsAway() const;
  std::string AwayText() const;
  bool IsDownloading() const;
  std::vector<TransferStatus> Transfers() const;
  // UI thread: ends the running download as /cancel does.
  void CancelDownload();
  size_t PendingRecordCount() const;

 private:
  template <typename Work>
  void WithState(Work&& work) {
    context_.WithState(state_, std::forward<Work>(work));
  }
  // Chat mode ends: what leaving and going offline share.
  void EndChatMode(ChatLocked& s, ChatOutput& out);
  // UI thread: the timer fires sleep_ms from now, then every sleep_ms.
  void StartTimer(int32_t sleep_ms);
  void StopTimer();

  ChatContext context_;
  mutable ChatState state_;
  ChatDelivery delivery_;
  ChatTransfer transfer_;
  ChatEvents events_;
  ChatCommands commands_;
  std::optional<UiLoop::TimerId> timer_;  // UI thread only
  int32_t timer_sleep_ms_ = 0;
};

}  // namespace vorn
