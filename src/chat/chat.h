#pragma once
// Chat between the users of a server, peer to peer: the table of known
// users, chat packets with acknowledgement and retransmission, the command
// interpreter of the input lines, what each inbound packet shows, and file
// offers and transfers.
//
// Threads: the UI thread runs the commands, chat mode changes and the chat
// timer; the receive thread runs OnChatPacket. One mutex guards all chat
// state. Text and window requests are gathered under it and carried out
// after it is released, because printing from the receive thread waits for
// the UI thread. Packets are sent under the lock: the send function must
// not call back into this object.
#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "chat/chat_files.h"
#include "chat/chat_list_model.h"
#include "chat/chat_output.h"
#include "chat/chat_packet.h"
#include "chat/chat_peers.h"
#include "chat/chat_windows.h"
#include "chat/duplicate_history.h"
#include "chat/offered_names.h"
#include "chat/serial_history.h"
#include "chat/pending_packets.h"
#include "net/peer_capabilities.h"
#include "net/shared_addresses.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/message_window.h"
#include "platform/ui_loop.h"
#include "settings/settings_store.h"

namespace vorn {

// Sends one whole datagram (from "VORN") to a peer; the byte count or -1.
using ChatSendFunction = std::function<int(PeerAddress, std::span<const uint8_t>)>;

// The server and tracker queries that some commands start.
struct ChatQueryHooks {
  std::function<void()> request_player_list = [] {};
  std::function<void()> request_names_list = [] {};
  std::function<void()> request_server_list = [] {};
  std::function<void(std::string_view)> request_player_info = [](std::string_view) {};
};

struct ChatPorts {
  Clock& clock;
  UiLoop& ui;
  Dialogs& dialogs;
  SettingsStore& settings;
  const SharedAddresses& addresses;  // the own address and the server's
  ChatWindows& windows;
};

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

// One running transfer, for a window that shows them.
struct TransferStatus {
  bool download = false;  // false: a file sent to peer
  std::string file;
  std::string peer;
  uint64_t bytes = 0;
  uint64_t total = 0;     // 0: not known (the protocol does not say)
  int64_t bytesPerSecond = 0;
};

class Chat {
 public:
  // Often enough to resend a packet close to its own deadline.
  static constexpr int32_t kTimerPeriodMs = 50;
  static constexpr int32_t kDropPeerAfterMs = 30000;
  static constexpr size_t kMaxCorrespondents = 100;

  Chat(const ChatPorts& ports, ChatSendFunction send, ChatOptions options = {});
  ~Chat();
  Chat(const Chat&) = delete;
  Chat& operator=(const Chat&) = delete;

  // Receive thread: a chat frame from sender, from offset 13 of the frame.
  void OnChatPacket(PeerAddress sender, std::span<const uint8_t> body);

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
  void ExecuteChatLine(std::string_view line, ChatInputId input);
  void JoinChannel(std::string_view key);
  // The channel of the chat window the user activated: the one the next
  // packets carry. Leaving names the window that closes; the channel
  // empties only when it is still the current one.
  void SetCurrentChannel(std::string_view key);
  void LeaveCurrentChannel(std::string_view key);
  // Errors are printed only when an input line is given.
  void PingUser(std::string_view target, std::optional<ChatInputId> input);
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
  struct Inbound {
    PeerAddress sender;
    PeerLookup who;
    bool listOpen = false;
    const ChatPacketView& packet;
    std::string_view text;  // the payload's text
  };
  struct CommandCall {
    std::string_view line;
    ChatInputId input = 0;
  };
  using CommandHandler = void (Chat::*)(const CommandCall&);
  struct Command {
    std::string_view name;
    bool chatOnly = false;
    CommandHandler run = nullptr;
  };

  // Runs work(out) under the lock, then shows what it gathered.
  template <typename Work>
  void WithState(Work&& work) {
    ChatOutput out;
    {
      std::lock_guard lock(mutex_);
      work(out);
    }
    Emit(out);
  }
  void Emit(const ChatOutput& out);
  uint32_t Colour(MessageClass cls) const { return settings_.ColorOf(cls); }
  void ReadSettings();
  // What this side announces in every chat packet it builds.
  uint32_t OwnCapabilities() const;
  int32_t NowMs() const { return clock_.NowMs(); }

  // Sending (chat_delivery.cpp), lock held.
  bool SendLocked(int peer_index, ChatSubtype subtype, std::span<const uint8_t> payload, ChatOutput& out);
  bool SendText(int peer_index, ChatSubtype subtype, std::string_view text, ChatOutput& out);
  void BroadcastLocked(ChatSubtype subtype, std::span<const uint8_t> payload, ChatOutput& out);
  void BroadcastText(ChatSubtype subtype, std::string_view text, ChatOutput& out);
  void Transmit(PeerAddress to, std::span<const uint8_t> packet);
  void TickPending(ChatOutput& out);
  void Resend(PendingChatPacket& record, int32_t now_ms);

  // Receiving (chat_delivery.cpp), lock held.
  void HandleChatPacket(PeerAddress sender, const ChatPacketView& packet, bool list_open, ChatOutput& out);
  void Acknowledge(const Inbound& in, ChatOutput& out);
  void HandleAck(const Inbound& in, ChatOutput& out);
  void HandleQuit(const Inbound& in, ChatOutput& out);

  // What each subtype shows and answers (chat_events.cpp), lock held.
  void HandleEvent(const Inbound& in, ChatOutput& out);
  void OnPart(const Inbound& in, ChatOutput& out);
  void OnWhoQuery(const Inbound& in, ChatOutput& out);
  void OnPrivate(const Inbound& in, ChatOutput& out);
  void OnPingReply(const Inbound& in, ChatOutput& out);
  void RememberCorrespondent(std::string_view nickname);
  void ShowInChannel(const Inbound& in, std::string text, MessageClass cls, ChatOutput& out);

  // The interpreter (chat_commands.cpp).
  static const std::array<Command, 20>& Commands();
  static const Command* FindCommand(std::string_view name);
  void AnnounceJoin(std::string_view key, bool was_on);
  void Print(ChatInputId input, std::string text);
  void PrintCommandError(ChatInputId input);
  void CmdHelp(const CommandCall& call);
  void CmdJoin(const CommandCall& call);
  void CmdPing(const CommandCall& call);
  void CmdMe(const CommandCall& call);
  void CmdMsg(const CommandCall& call);
  void CmdQuit(const CommandCall& call);
  void CmdPlayers(const CommandCall& call);
  void CmdServers(const CommandCall& call);
  void CmdWhoIs(const CommandCall& call);
  void CmdWho(const CommandCall& call);
  void CmdAway(const CommandCall& call);
  void CmdNames(const CommandCall& call);
  void CmdPart(const CommandCall& call);
  // A target's errors, printed when an input line is given; lock held.
  std::optional<int> ResolveOrReport(std::string_view name, std::optional<ChatInputId> input,
                                     std::string_view no_such_node, ChatOutput& out);

  // Offers and transfers (chat_transfer.cpp).
  void CmdProgress(const CommandCall& call);
  void CmdOffer(const CommandCall& call);
  void CmdDeoffer(const CommandCall& call);
  void CmdGet(const CommandCall& call);
  void CmdXget(const CommandCall& call);
  void StartDownload(const CommandCall& call, size_t argument_at, bool overwrite);
  void AnnounceOffersLocked(ChatOutput& out);
  bool SendNextFragment(int peer_index, std::string_view channel, ChatOutput& out);
  void FillWindow(int peer_index, std::string_view channel, ChatOutput& out);
  void ResendOvertaken(const ChatPeer& peer, uint32_t acked_serial);
  void StopUpload(int peer_index);
  void OnFileRequest(const Inbound& in, ChatOutput& out);
  void OnDownloadCancelled(const Inbound& in, ChatOutput& out);

  // The downloading side (chat_download.cpp), lock held but for commands.
  void CmdCancel(const CommandCall& call);
  void OnFileFragment(const Inbound& in, ChatOutput& out);
  void OnNoFileOffered(const Inbound& in, ChatOutput& out);
  void CompleteDownload(const Inbound& in, ChatOutput& out);
  // Ends the running download with text; tell_source: the offering side
  // hears that it was cancelled.
  void EndDownload(std::string text, bool tell_source, ChatOutput& out);
  void TickDownload(ChatOutput& out);
  void CancelDownloadLocked(ChatOutput& out);
  std::string DownloadPeerName() const;
  int DownloadSourceIndex() const;

  Clock& clock_;
  UiLoop& ui_;
  Dialogs& dialogs_;
  SettingsStore& settings_;
  const SharedAddresses& addresses_;
  ChatWindows& windows_;
  ChatSendFunction send_;
  ChatQueryHooks queries_;
  // Read on the receive thread; refreshed from the settings on the UI thread.
  std::atomic<bool> beep_on_private_{true};
  std::atomic<bool> windowed_transfers_{true};
  PeerCapabilities own_capabilities_;
  PeerCapabilities& capabilities_;
  std::optional<UiLoop::TimerId> timer_;  // UI thread only
  const bool progress_lines_;
  const std::function<std::filesystem::path()> download_directory_;

  mutable std::mutex mutex_;  // guards everything below
  bool chat_mode_on_ = false;
  uint32_t sequence_ = 0;
  uint32_t serial_ = 0;
  ChatPeerTable peers_;
  PendingChatPackets pending_;
  DuplicateHistory history_;
  SerialHistory serials_;
  OfferTable offers_;
  Download download_;
  OfferedNames offered_names_;
  int32_t progress_line_ms_ = 0;  // when the download last printed how far it is
  bool away_ = false;
  std::string away_text_;
  std::vector<std::string> correspondents_;  // MsgCompletionList, oldest first
};

}  // namespace vorn
