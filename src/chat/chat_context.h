#pragma once
// What every part of the chat shares besides the guarded state: the ports
// to the rest of the program, the settings read on the UI thread, and the
// way out for what an operation gathered under the state lock.
//
// Locks: the state lock (ChatState::Locked) is never held while a datagram
// leaves or a window is written to. Datagrams gathered under it leave after
// it is released, under the send lock, which numbers them as they go: frames
// from one node must leave in the order of their sequence numbers, or a
// receiver that drops frames older than the newest one would drop them. The
// send lock is the innermost: nothing else is taken while it is held, and
// the send function must not call back into the chat.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string_view>

#include "chat/chat_output.h"
#include "chat/chat_state.h"
#include "chat/chat_windows.h"
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

class ChatContext {
 public:
  ChatContext(const ChatPorts& ports, ChatSendFunction send, ChatQueryHooks queries, PeerCapabilities* capabilities,
              bool progress_lines);
  ChatContext(const ChatContext&) = delete;
  ChatContext& operator=(const ChatContext&) = delete;

  // Runs work(locked, out) under the state lock, then carries out what it
  // gathered.
  template <typename Work>
  void WithState(ChatState& state, Work&& work) {
    ChatOutput out;
    {
      ChatState::Locked locked = state.Lock();
      work(locked, out);
    }
    Emit(out);
  }
  // Sends the gathered datagrams, then shows the gathered text. Never with
  // the state lock held.
  void Emit(ChatOutput& out);

  int32_t NowMs() const { return clock.NowMs(); }
  uint32_t Colour(MessageClass cls) const { return settings.ColorOf(cls); }
  // UI thread: the settings that the receive thread reads.
  void ReadSettings();
  bool BeepOnPrivate() const { return beep_on_private_.load(std::memory_order_relaxed); }
  bool WindowedTransfers() const { return windowed_transfers_.load(std::memory_order_relaxed); }
  // What this side announces in every chat packet it builds.
  uint32_t OwnCapabilities() const;

  Clock& clock;
  UiLoop& ui;
  Dialogs& dialogs;
  SettingsStore& settings;
  const SharedAddresses& addresses;
  ChatWindows& windows;
  const ChatQueryHooks queries;
  // What peers announced beyond the protocol; has its own lock.
  PeerCapabilities& capabilities;
  const bool progressLines;

 private:
  void Transmit(ChatOutput& out);

  ChatSendFunction send_;
  std::atomic<bool> beep_on_private_{true};
  std::atomic<bool> windowed_transfers_{true};
  PeerCapabilities own_capabilities_;
  std::mutex send_mutex_;  // the send lock: guards sequence_ and the order of sending
  uint32_t sequence_ = 0;
};

}  // namespace vorn
