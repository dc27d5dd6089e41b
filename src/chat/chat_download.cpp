// The downloading side of a transfer: fragments written at their offsets,
// acknowledged only once written, and a download that always ends, with a
// line saying how: complete, refused, cancelled, failed or abandoned by a
// sender that went quiet.
#include <algorithm>

#include "chat/chat.h"
#include "platform/text.h"

namespace vorn {
namespace {

int32_t ElapsedSince(int32_t now_ms, int32_t since_ms) {
  return std::max(1, static_cast<int32_t>(static_cast<uint32_t>(now_ms) - static_cast<uint32_t>(since_ms)));
}

}  // namespace

int Chat::DownloadSourceIndex() const {
  for (int i = kLocalPeer; i <= kLastOtherPeer; ++i) {
    if (peers_[i].address == download_.source()) return i;
  }
  return -1;
}

void Chat::EndDownload(std::string text, bool tell_source, ChatOutput& out) {
  if (!download_.running()) return;
  out.ToChannel(peers_.local().channel.view(), std::move(text), Colour(MessageClass::Server));
  int source = DownloadSourceIndex();
  if (tell_source && source >= 0) SendLocked(source, ChatSubtype::DownloadCancelled, {}, out);
  download_.End();
}

void Chat::CmdCancel(const CommandCall& call) {
  WithState([&](ChatOutput& out) {
    if (!download_.running()) {
      out.ToInput(call.input, "*** No download to cancel.\r\n", Colour(MessageClass::Server));
      return;
    }
    CancelDownloadLocked(out);
  });
}

void Chat::CancelDownload() {
  WithState([&](ChatOutput& out) { CancelDownloadLocked(out); });
}

void Chat::CancelDownloadLocked(ChatOutput& out) {
  EndDownload(Format("*** Download of \"%s\" cancelled.\r\n", download_.fileName().c_str()), true, out);
}

std::vector<TransferStatus> Chat::Transfers() const {
  std::vector<TransferStatus> list;
  std::lock_guard lock(mutex_);
  int32_t now = NowMs();
  if (download_.running()) {
    uint64_t bytes = download_.received();
    list.push_back({true, download_.fileName(), DownloadPeerName(), bytes, 0,
                    static_cast<int64_t>(bytes) * 1000 / ElapsedSince(now, download_.startMs())});
  }
  for (int i = kLocalPeer; i <= kLastOtherPeer; ++i) {
    const ChatPeer& peer = peers_[i];
    if (peer.bytesSent == 0 && !peer.fragmentHeld) continue;
    list.push_back({false, std::string(offers_.Name(peer.offeredFileIndex)), std::string(peer.nickname.view()),
                    peer.bytesSent, offers_.Size(peer.offeredFileIndex),
                    static_cast<int64_t>(peer.bytesSent) * 1000 / ElapsedSince(now, peer.uploadStartMs)});
  }
  return list;
}

void Chat::OnFileFragment(const Inbound& in, ChatOutput& out) {
  // Not part of the running download: acknowledged, so that its sender
  // stops, and written nowhere. Late copies from the last download's
  // sender pass quietly.
  if (!download_.running() || in.sender != download_.source() || download_.IsStale(in.sender, in.packet.serial)) {
    if (!download_.running() && in.sender != download_.previousSource()) {
      out.ToChannel(in.packet.channel, "*** Strange file fragment!\r\n", Colour(MessageClass::Server));
    }
    return Acknowledge(in, out);
  }
  std::optional<FileFragmentView> fragment = ParseFileFragment(in.packet.payload);
  if (!fragment || in.who.index < 0) return;
  switch (download_.Write(*fragment, in.packet.serial, NowMs())) {
    case Download::WriteResult::kRefused: return;  // not acknowledged: it comes again
    case Download::WriteResult::kSeekFailed: return EndDownload("Error setting file pointer!\r\n", true, out);
    case Download::WriteResult::kWriteFailed: return EndDownload("*** Error writing file!\r\n", true, out);
    case Download::WriteResult::kCannotRename:
      return EndDownload(Format("*** Cannot save the file as \"%s\".\r\n", download_.fileName().c_str()), false, out);
    case Download::WriteResult::kWritten:
    case Download::WriteResult::kHeld: return Acknowledge(in, out);
    case Download::WriteResult::kCompleted: break;
  }
  Acknowledge(in, out);
  CompleteDownload(in, out);
}

void Chat::CompleteDownload(const Inbound& in, ChatOutput& out) {
  int64_t elapsed = ElapsedSince(NowMs(), download_.startMs());
  // Multiplied first: a small file in a long time is not 0 bytes/sec.
  int64_t size = static_cast<int64_t>(download_.received());
  int64_t rate = size * 1000 / elapsed;
  out.ToChannel(in.packet.channel,
                Format("*** The transfer from %s is complete (%lld bytes/sec, %lld bytes in %lld.%01lld s).\r\n",
                       std::string(peers_[in.who.index].nickname.view()).c_str(), static_cast<long long>(rate),
                       static_cast<long long>(size), static_cast<long long>(elapsed / 1000),
                       static_cast<long long>(elapsed % 1000 / 100)),
                Colour(MessageClass::Server));
  download_.End();
}

void Chat::OnNoFileOffered(const Inbound& in, ChatOutput& out) {
  // Only the user the file was asked from may call the download off.
  if (download_.running() && in.sender != download_.source()) return;
  out.ToChannel(in.packet.channel, "*** No file offered!\r\n", Colour(MessageClass::Server));
  download_.End();
}

std::string Chat::DownloadPeerName() const {
  int source = DownloadSourceIndex();
  return source >= 0 ? std::string(peers_[source].nickname.view()) : FormatPeerAddress(download_.source());
}

// A sender that stopped sending ends the download, and is told, in case it
// is only its fragments that are lost.
void Chat::TickDownload(ChatOutput& out) {
  if (!download_.running()) return;
  int32_t now = NowMs();
  if (progress_lines_ && ElapsedSince(now, std::max(progress_line_ms_, download_.startMs())) >= 2000 &&
      ElapsedSince(now, download_.startMs()) >= 2000) {
    progress_line_ms_ = now;
    uint64_t bytes = download_.received();
    out.ToChannel(peers_.local().channel.view(),
                  Format("*** \"%s\" from %s: %llu bytes (%lld bytes/sec).\r\n", download_.fileName().c_str(),
                         DownloadPeerName().c_str(), static_cast<unsigned long long>(bytes),
                         static_cast<long long>(static_cast<int64_t>(bytes) * 1000 / ElapsedSince(now, download_.startMs()))),
                  Colour(MessageClass::Server));
  }
  if (ElapsedSince(now, download_.lastProgressMs()) <= kDropPeerAfterMs) return;
  EndDownload(Format("*** The download of \"%s\" stopped: nothing arrived for 30 seconds.\r\n",
                     download_.fileName().c_str()),
              true, out);
}

}  // namespace vorn
