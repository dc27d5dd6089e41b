#pragma once
// Everything the chat's threads share, behind one mutex that only a
// ChatState::Locked holds: a function that takes a Locked& runs with the
// lock held, and nothing else can reach the state.
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "chat/chat_files.h"
#include "chat/chat_peers.h"
#include "chat/duplicate_history.h"
#include "chat/offered_names.h"
#include "chat/pending_packets.h"
#include "chat/serial_history.h"

namespace vorn {

struct ChatData {
  static constexpr size_t kMaxCorrespondents = 100;

  explicit ChatData(const std::filesystem::path& directory) : offers(directory), download(directory) {}

  // Bounded, so that a sender changing its nickname for every message
  // cannot grow the list without end; the oldest name goes first.
  void RememberCorrespondent(std::string_view nickname);

  bool chatModeOn = false;
  uint32_t serial = 0;  // of the last packet built
  ChatPeerTable peers;
  PendingChatPackets pending;
  DuplicateHistory history;
  SerialHistory serials;
  OfferTable offers;
  Download download;
  OfferedNames offeredNames;   // what the others offer, for /get without a name
  int32_t progressLineMs = 0;  // when the download last printed how far it is
  bool away = false;
  std::string awayText;
  std::vector<std::string> correspondents;  // MsgCompletionList, oldest first
};

class ChatState {
 public:
  class Locked {
   public:
    ChatData* operator->() { return &data_; }
    ChatData& operator*() { return data_; }

   private:
    friend class ChatState;
    Locked(std::mutex& mutex, ChatData& data) : lock_(mutex), data_(data) {}

    std::unique_lock<std::mutex> lock_;
    ChatData& data_;
  };

  explicit ChatState(const std::filesystem::path& directory) : data_(directory) {}
  ChatState(const ChatState&) = delete;
  ChatState& operator=(const ChatState&) = delete;

  Locked Lock() { return Locked(mutex_, data_); }

 private:
  std::mutex mutex_;
  ChatData data_;
};

using ChatLocked = ChatState::Locked;

}  // namespace vorn
