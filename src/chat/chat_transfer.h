#pragma once
// File transfers over the chat: the offering side sends fragments of at
// most 500 bytes, one in flight per downloader and the next when it is
// acknowledged, or a window of them toward a Vorn node that announced it;
// the downloading side writes them at their offsets and acknowledges what
// it took. Every function runs with the state lock held.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "chat/chat_context.h"
#include "chat/chat_delivery.h"

namespace vorn {

// One running transfer, for a window that shows them.
struct TransferStatus {
  bool download = false;  // false: a file sent to peer
  std::string file;
  std::string peer;
  uint64_t bytes = 0;
  uint64_t total = 0;  // 0: not known (the protocol does not say)
  int64_t bytes_per_second = 0;
};

class ChatTransfer {
 public:
  ChatTransfer(ChatContext& context, ChatDelivery& delivery) : context_(context), delivery_(delivery) {}

  // The offering side (chat_transfer.cpp).
  void AnnounceOffers(ChatLocked& s, ChatOutput& out);
  // A known peer acknowledged serial; acked: what it freed, if anything.
  void OnAcknowledgement(ChatLocked& s, const ChatInbound& in, uint32_t serial,
                         const std::optional<AcknowledgedPacket>& acked, ChatOutput& out);
  void OnFileRequest(ChatLocked& s, const ChatInbound& in, ChatOutput& out);
  void OnDownloadCancelled(ChatLocked& s, const ChatInbound& in, ChatOutput& out);

  // The downloading side (chat_download.cpp).
  void OnFileFragment(ChatLocked& s, const ChatInbound& in, ChatOutput& out);
  void OnNoFileOffered(ChatLocked& s, const ChatInbound& in, ChatOutput& out);
  // A download that made no progress for 30 s ends; with progress lines
  // on, it says every 2 s how far it is.
  void Tick(ChatLocked& s, ChatOutput& out);
  // How long the timer may sleep before the download is due a check: at
  // most limit_ms, at least 1.
  int32_t UntilDueMs(ChatLocked& s, int32_t limit_ms) const;
  void CancelDownload(ChatLocked& s, ChatOutput& out);
  std::vector<TransferStatus> Transfers(ChatLocked& s) const;

 private:
  bool SendNextFragment(ChatLocked& s, int peer_index, std::string_view channel, ChatOutput& out);
  void FillWindow(ChatLocked& s, int peer_index, std::string_view channel, ChatOutput& out);
  void ResendOvertaken(ChatLocked& s, const ChatPeer& peer, uint32_t acked_serial, ChatOutput& out);
  static void StopUpload(ChatLocked& s, int peer_index);

  void CompleteDownload(ChatLocked& s, const ChatInbound& in, ChatOutput& out);
  // Ends the running download with text; tell_source: the offering side
  // hears that it was cancelled.
  void EndDownload(ChatLocked& s, std::string text, bool tell_source, ChatOutput& out);
  void PrintProgress(ChatLocked& s, int32_t now_ms, ChatOutput& out);
  static std::string DownloadPeerName(ChatLocked& s);
  static int DownloadSourceIndex(ChatLocked& s);

  ChatContext& context_;
  ChatDelivery& delivery_;
};

}  // namespace vorn
