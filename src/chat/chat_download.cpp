// The downloading side of a transfer: fragments written at their offsets,
// acknowledged only once written, and a download that always ends, with a
// line saying how: complete, refused, cancelled, failed or abandoned by a
// sender that went quiet.
#include <algorithm>

#include "chat/chat_transfer.h"
#include "platform/text.h"

namespace vorn {
namespace {

constexpr int32_t kProgressLineMs = 2000;

int32_t Elapsed(int32_t now_ms, int32_t since_ms) {
  return static_cast<int32_t>(static_cast<uint32_t>(now_ms) - static_cast<uint32_t>(since_ms));
}

int32_t ElapsedSince(int32_t now_ms, int32_t since_ms) { return std::max(1, Elapsed(now_ms, since_ms)); }

}  // namespace

int ChatTransfer::DownloadSourceIndex(ChatLocked& s) {
  for (int i = kLocalPeer; i <= kLastOtherPeer; ++i) {
    if (s->peers[i].address == s->download.source()) return i;
  }
  return -1;
}

std::string ChatTransfer::DownloadPeerName(ChatLocked& s) {
  int source = DownloadSourceIndex(s);
  return source >= 0 ? std::string(s->peers[source].nickname.view()) : FormatPeerAddress(s->download.source());
}

void ChatTransfer::EndDownload(ChatLocked& s, std::string text, bool tell_source, ChatOutput& out) {
  if (!s->download.running()) return;
  out.ToChannel(s->peers.local().channel.view(), std::move(text), context_.Colour(MessageClass::Server));
  int source = DownloadSourceIndex(s);
  if (tell_source && source >= 0) delivery_.Send(s, source, ChatSubtype::DownloadCancelled, {}, out);
  s->download.End();
}

void ChatTransfer::CancelDownload(ChatLocked& s, ChatOutput& out) {
  EndDownload(s, Format("*** Download of \"%s\" cancelled.\r\n", s->download.fileName().c_str()), true, out);
}

std::vector<TransferStatus> ChatTransfer::Transfers(ChatLocked& s) const {
  std::vector<TransferStatus> list;
  int32_t now = context_.NowMs();
  const Download& download = s->download;
  if (download.running()) {
    uint64_t bytes = download.received();
    list.push_back({true, download.fileName(), DownloadPeerName(s), bytes, 0,
                    static_cast<int64_t>(bytes) * 1000 / ElapsedSince(now, download.startMs())});
  }
  for (int i = kLocalPeer; i <= kLastOtherPeer; ++i) {
    const ChatPeer& peer = s->peers[i];
    if (peer.bytes_sent == 0 && !peer.fragment_held) continue;
    list.push_back({false, std::string(s->offers.Name(peer.offered_file_index)), std::string(peer.nickname.view()),
                    peer.bytes_sent, s->offers.Size(peer.offered_file_index),
                    static_cast<int64_t>(peer.bytes_sent) * 1000 / ElapsedSince(now, peer.upload_start_ms)});
  }
  return list;
}

void ChatTransfer::OnFileFragment(ChatLocked& s, const ChatInbound& in, ChatOutput& out) {
  Download& download = s->download;
  // Not part of the running download: acknowledged, so that its sender
  // stops, and written nowhere. Late copies from the last download's
  // sender pass quietly.
  if (!download.running() || in.sender != download.source() || download.IsStale(in.sender, in.packet.serial)) {
    if (!download.running() && in.sender != download.previousSource()) {
      out.ToChannel(in.packet.channel, "*** Strange file fragment!\r\n", context_.Colour(MessageClass::Server));
    }
    return delivery_.Acknowledge(s, in, out);
  }
  std::optional<FileFragmentView> fragment = ParseFileFragment(in.packet.payload);
  if (!fragment || in.who.index < 0) return;
  switch (download.Write(*fragment, in.packet.serial, context_.NowMs())) {
    case Download::WriteResult::kRefused:
      return;  // not acknowledged: it comes again
    case Download::WriteResult::kSeekFailed:
      return EndDownload(s, "Error setting file pointer!\r\n", true, out);
    case Download::WriteResult::kWriteFailed:
      return EndDownload(s, "*** Error writing file!\r\n", true, out);
    case Download::WriteResult::kCannotRename:
      return EndDownload(s, Format("*** Cannot save the file as \"%s\".\r\n", download.fileName().c_str()), false, out);
    case Download::WriteResult::kWritten:
    case Download::WriteResult::kHeld:
      return delivery_.Acknowledge(s, in, out);
    case Download::WriteResult::kCompleted:
      break;
  }
  delivery_.Acknowledge(s, in, out);
  CompleteDownload(s, in, out);
}

void ChatTransfer::CompleteDownload(ChatLocked& s, const ChatInbound& in, ChatOutput& out) {
  int64_t elapsed = ElapsedSince(context_.NowMs(), s->download.startMs());
  // Multiplied first: a small file in a long time is not 0 bytes/sec.
  int64_t size = static_cast<int64_t>(s->download.received());
  int64_t rate = size * 1000 / elapsed;
  out.ToChannel(in.packet.channel,
                Format("*** The transfer from %s is complete (%lld bytes/sec, %lld bytes in %lld.%01lld s).\r\n",
                       std::string(s->peers[in.who.index].nickname.view()).c_str(), static_cast<long long>(rate),
                       static_cast<long long>(size), static_cast<long long>(elapsed / 1000),
                       static_cast<long long>(elapsed % 1000 / 100)),
                context_.Colour(MessageClass::Server));
  s->download.End();
}

void ChatTransfer::OnNoFileOffered(ChatLocked& s, const ChatInbound& in, ChatOutput& out) {
  // Only the user the file was asked from may call the download off.
  if (s->download.running() && in.sender != s->download.source()) return;
  out.ToChannel(in.packet.channel, "*** No file offered!\r\n", context_.Colour(MessageClass::Server));
  s->download.End();
}

// A sender that stopped sending ends the download, and is told, in case it
// is only its fragments that are lost.
void ChatTransfer::Tick(ChatLocked& s, ChatOutput& out) {
  if (!s->download.running()) return;
  int32_t now = context_.NowMs();
  if (context_.progressLines) PrintProgress(s, now, out);
  if (ElapsedSince(now, s->download.lastProgressMs()) <= ChatDelivery::kDropPeerAfterMs) return;
  EndDownload(
      s,
      Format("*** The download of \"%s\" stopped: nothing arrived for 30 seconds.\r\n", s->download.fileName().c_str()),
      true, out);
}

int32_t ChatTransfer::UntilDueMs(ChatLocked& s, int32_t limit_ms) const {
  const Download& download = s->download;
  if (!download.running()) return limit_ms;
  int32_t now = context_.NowMs();
  int32_t until = std::min(limit_ms, ChatDelivery::kDropPeerAfterMs + 1 - Elapsed(now, download.lastProgressMs()));
  if (context_.progressLines) {
    until = std::min(until, kProgressLineMs - Elapsed(now, std::max(s->progressLineMs, download.startMs())));
  }
  return std::max(until, 1);
}

void ChatTransfer::PrintProgress(ChatLocked& s, int32_t now_ms, ChatOutput& out) {
  const Download& download = s->download;
  if (ElapsedSince(now_ms, std::max(s->progressLineMs, download.startMs())) < kProgressLineMs ||
      ElapsedSince(now_ms, download.startMs()) < kProgressLineMs) {
    return;
  }
  s->progressLineMs = now_ms;
  uint64_t bytes = download.received();
  out.ToChannel(
      s->peers.local().channel.view(),
      Format("*** \"%s\" from %s: %llu bytes (%lld bytes/sec).\r\n", download.fileName().c_str(),
             DownloadPeerName(s).c_str(), static_cast<unsigned long long>(bytes),
             static_cast<long long>(static_cast<int64_t>(bytes) * 1000 / ElapsedSince(now_ms, download.startMs()))),
      context_.Colour(MessageClass::Server));
}

}  // namespace vorn
