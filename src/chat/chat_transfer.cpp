// Offering files and the offering side of a transfer: fragments of at most
// 500 bytes, one in flight per downloader and the next sent when it is
// acknowledged, or a window of them toward a Vorn node that announced it.
#include <algorithm>

#include "chat/chat.h"
#include "chat/command_text.h"
#include "platform/text.h"

namespace vorn {
namespace {

// "<nickname> <number> <file name>" of /get and /xget.
struct GetArguments {
  std::string_view nickname;
  std::string_view number;
  std::string_view file_name;
};

std::optional<GetArguments> SplitGetArguments(std::string_view argument) {
  size_t blank = argument.find(' ');
  if (blank == std::string_view::npos) return std::nullopt;
  GetArguments parts;
  parts.nickname = argument.substr(0, std::min(blank, kChatNameMax));
  std::string_view rest = TrimLeadingBlanks(argument.substr(blank + 1));
  blank = rest.find(' ');
  parts.number = rest.substr(0, blank);
  // Without a name the file keeps the one it was offered under.
  if (blank != std::string_view::npos) parts.file_name = TrimLeadingBlanks(rest.substr(blank + 1));
  if (parts.number.empty()) return std::nullopt;
  return parts;
}

}  // namespace

void Chat::CmdProgress(const CommandCall& call) {
  WithState([&](ChatOutput& out) {
    for (int i = kLocalPeer; i <= kLastOtherPeer; ++i) {
      const ChatPeer& peer = peers_[i];
      if (peer.bytesSent == 0) continue;
      out.ToInput(call.input,
                  Format("*** %u bytes transferred to %s.\r\n", peer.bytesSent, std::string(peer.nickname.view()).c_str()),
                  Colour(MessageClass::Server));
    }
  });
}

void Chat::CmdOffer(const CommandCall& call) {
  std::string_view name = ArgumentAt(call.line, 6);
  bool bare = call.line.size() == 6;
  WithState([&](ChatOutput& out) {
    auto print = [&](std::string_view text) { out.ToInput(call.input, std::string(text), Colour(MessageClass::Server)); };
    if (bare) return AnnounceOffersLocked(out);
    if (offers_.count() >= OfferTable::kSlots) return print("*** Already offering 10 files!\r\n");
    if (name.empty()) return print(kCommandError);
    switch (offers_.Offer(name)) {
      case OfferTable::OfferResult::kTooLarge: return print("*** Cannot offer files of 4 GiB or more.\r\n");
      case OfferTable::OfferResult::kFull:
      case OfferTable::OfferResult::kCannotOpen: return print("*** Cannot open file.\r\n");
      case OfferTable::OfferResult::kOffered: break;
    }
    AnnounceOffersLocked(out);
  });
}

void Chat::CmdDeoffer(const CommandCall& call) {
  std::string_view argument = ArgumentAt(call.line, 8);
  bool all = EqualsIgnoreCase(argument, "ALL");
  if (argument.empty() || (!all && !IsDigit(argument[0]))) return PrintCommandError(call.input);
  // Withdrawing tells nobody: the others learn of it when they ask.
  WithState([&](ChatOutput& out) {
    uint32_t colour = Colour(MessageClass::Server);
    if (all) {
      out.ToInput(call.input, "*** Deoffering all files.\r\n", colour);
      offers_.WithdrawAll();
    } else if (!offers_.Withdraw(ParseDecimal(argument))) {
      out.ToInput(call.input, "*** File not offered.\r\n", colour);
    }
  });
}

void Chat::CmdGet(const CommandCall& call) { StartDownload(call, 4, false); }

void Chat::CmdXget(const CommandCall& call) { StartDownload(call, 5, true); }

void Chat::StartDownload(const CommandCall& call, size_t argument_at, bool overwrite) {
  std::string_view argument = ArgumentAt(call.line, argument_at);
  const std::filesystem::path directory = download_directory_ ? download_directory_() : std::filesystem::path();
  WithState([&](ChatOutput& out) {
    auto print = [&](std::string_view text) { out.ToInput(call.input, std::string(text), Colour(MessageClass::Server)); };
    if (download_.running()) return print("*** Already getting another file.\r\n");
    size_t blank = argument.find(' ');
    if (blank == std::string_view::npos) return print(kCommandError);
    std::string_view typed = argument.substr(0, std::min(blank, kChatNameMax));
    std::optional<int> index = ResolveOrReport(typed, call.input, "*** User doesn't exist\n\r", out);
    if (!index) return;
    std::optional<GetArguments> parts = SplitGetArguments(argument);
    if (!parts) return print(kCommandError);
    int32_t number = ParseDecimal(parts->number);
    const std::string target =
        DownloadTarget(directory, parts->file_name, offered_names_.NameOf(peers_[*index].address, number));
    if (target.empty()) return print(Format("*** No name known for file #%d: give one after the number.\r\n", number));
    switch (download_.Start(target, overwrite, peers_[*index].address, NowMs())) {
      case Download::StartResult::kExists: return print("*** File already exists; /xget overwrites it.\r\n");
      case Download::StartResult::kCannotWrite: return print("*** File cannot be opened for writing.\r\n");
      case Download::StartResult::kStarted: break;
    }
    print(Format("*** Getting file #%d from %s as \"%s\".\r\n", number,
                 std::string(peers_[*index].nickname.view()).c_str(), download_.fileName().c_str()));
    SendText(*index, ChatSubtype::FileRequest, Format("%d", number), out);
  });
}

void Chat::AnnounceOffers() {
  WithState([&](ChatOutput& out) { AnnounceOffersLocked(out); });
}

void Chat::AnnounceOffersLocked(ChatOutput& out) {
  BroadcastText(ChatSubtype::Action, "offers the following files for downloading:", out);
  for (int slot = 0; slot < offers_.count(); ++slot) {
    if (offers_.IsOffered(slot)) BroadcastText(ChatSubtype::Action, Format("[%d] ", slot) + std::string(offers_.Name(slot)), out);
  }
}

bool Chat::SendNextFragment(int peer_index, std::string_view channel, ChatOutput& out) {
  ChatPeer& peer = peers_[peer_index];
  std::array<uint8_t, kMaxFragmentData> data;
  std::optional<size_t> count = offers_.ReadAt(peer.offeredFileIndex, peer.bytesSent, data);
  if (!count) {
    out.ToChannel(channel, "*** Cannot set file pointer!\r\n", Colour(MessageClass::Server));
    // Nothing more can be sent: the downloader hears so instead of waiting.
    StopUpload(peer_index);
    SendLocked(peer_index, ChatSubtype::NoFileOffered, {}, out);
    return false;
  }
  std::array<uint8_t, kMaxFragmentPayload> payload;
  size_t size = BuildFileFragment(payload, peer.bytesSent, std::span<const uint8_t>(data.data(), *count));
  std::span<const uint8_t> fragment(payload.data(), size);
  bool last = *count < kMaxFragmentData;
  // The last fragment waits until the user has acknowledged everything
  // else; the next acknowledgement from it tries again. So does a fragment
  // that found the pending list full.
  peer.fragmentHeld = last && pending_.HasUnacknowledged(peer.address);
  if (peer.fragmentHeld) return false;
  peer.fragmentHeld = !SendLocked(peer_index, ChatSubtype::FileFragment, fragment, out);
  if (peer.fragmentHeld) return false;
  peer.fragmentSerial = serial_;
  if (!last) {
    peer.bytesSent += static_cast<uint32_t>(kMaxFragmentData);
    return true;
  }
  peer.bytesSent = 0;
  out.ToChannel(channel, Format("*** File transfer to %s has completed.\r\n", std::string(peer.nickname.view()).c_str()),
                Colour(MessageClass::Server));
  return true;
}

// Toward a peer that announced it, fragments go out until a window of them
// is in flight; toward any other, one at a time.
void Chat::FillWindow(int peer_index, std::string_view channel, ChatOutput& out) {
  ChatPeer& peer = peers_[peer_index];
  while (SendNextFragment(peer_index, channel, out) && peer.windowed && peer.bytesSent != 0 &&
         pending_.CountInUse(peer.address, ChatSubtype::FileFragment, peer.firstSerial) < kTransferWindow) {
  }
}

// Fragments sent before the one just acknowledged, and still unanswered
// after several later ones were, are taken as lost and sent at once.
void Chat::ResendOvertaken(const ChatPeer& peer, uint32_t acked_serial) {
  constexpr uint16_t kOvertakenLimit = 3;
  int32_t now = NowMs();
  pending_.ForEachInUse([&](PendingChatPacket& record) {
    if (record.peer != peer.address || record.subtype != ChatSubtype::FileFragment) return;
    if (static_cast<int32_t>(record.serial - peer.firstSerial) < 0) return;
    if (static_cast<int32_t>(acked_serial - record.overtakenAfter) <= 0) return;
    if (++record.overtaken >= kOvertakenLimit) Resend(record, now);
  });
}

void Chat::StopUpload(int peer_index) {
  ChatPeer& peer = peers_[peer_index];
  peer.bytesSent = 0;
  peer.fragmentHeld = false;
  peer.windowed = false;
  // Its fragments in flight are not wanted any more.
  pending_.ForEachInUse([&](PendingChatPacket& record) {
    if (record.peer == peer.address && record.subtype == ChatSubtype::FileFragment) record.inUse = false;
  });
}

void Chat::OnFileRequest(const Inbound& in, ChatOutput& out) {
  int32_t slot = ParseDecimal(in.text);
  if (!offers_.IsOffered(slot)) {
    SendLocked(in.who.index, ChatSubtype::NoFileOffered, {}, out);
    return;
  }
  StopUpload(in.who.index);
  ChatPeer& peer = peers_[in.who.index];
  peer.offeredFileIndex = static_cast<int16_t>(slot);
  out.ToChannel(in.packet.channel,
                Format("*** %s has requested file #%s.\r\n", std::string(peer.nickname.view()).c_str(),
                       std::string(in.text).c_str()),
                Colour(MessageClass::Server));
  peer.windowed = windowed_transfers_.load(std::memory_order_relaxed) &&
                  capabilities_.Has(in.sender, capability::kWindowedTransfer);
  peer.firstSerial = serial_ + 1;
  peer.uploadStartMs = NowMs();
  FillWindow(in.who.index, in.packet.channel, out);
}

void Chat::OnDownloadCancelled(const Inbound& in, ChatOutput& out) {
  StopUpload(in.who.index);
  const ChatPeer& peer = peers_[in.who.index];
  out.ToChannel(in.packet.channel, "*** " + std::string(peer.nickname.view()) + " has cancelled the download.",
                Colour(MessageClass::Server));
}

}  // namespace vorn
