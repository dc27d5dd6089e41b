// The commands that offer files and fetch them.
#include <algorithm>

#include "chat/chat_commands.h"
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

void ChatCommands::CmdProgress(const CommandCall& call) {
  WithState([&](ChatLocked& s, ChatOutput& out) {
    for (int i = kLocalPeer; i <= kLastOtherPeer; ++i) {
      const ChatPeer& peer = s->peers[i];
      if (peer.bytes_sent == 0) continue;
      out.ToInput(
          call.input,
          Format("*** %u bytes transferred to %s.\r\n", peer.bytes_sent, std::string(peer.nickname.view()).c_str()),
          context_.Colour(MessageClass::Server));
    }
  });
}

void ChatCommands::CmdOffer(const CommandCall& call) {
  std::string_view name = ArgumentAt(call.line, 6);
  bool bare = call.line.size() == 6;
  WithState([&](ChatLocked& s, ChatOutput& out) {
    auto print = [&](std::string_view text) {
      out.ToInput(call.input, std::string(text), context_.Colour(MessageClass::Server));
    };
    if (bare) return transfer_.AnnounceOffers(s, out);
    if (s->offers.count() >= OfferTable::kSlots) return print("*** Already offering 10 files!\r\n");
    if (name.empty()) return print(kCommandError);
    switch (s->offers.Offer(name)) {
      case OfferTable::OfferResult::kTooLarge:
        return print("*** Cannot offer files of 4 GiB or more.\r\n");
      case OfferTable::OfferResult::kFull:
      case OfferTable::OfferResult::kCannotOpen:
        return print("*** Cannot open file.\r\n");
      case OfferTable::OfferResult::kOffered:
        break;
    }
    transfer_.AnnounceOffers(s, out);
  });
}

void ChatCommands::CmdDeoffer(const CommandCall& call) {
  std::string_view argument = ArgumentAt(call.line, 8);
  bool all = EqualsIgnoreCase(argument, "ALL");
  if (argument.empty() || (!all && !IsDigit(argument[0]))) return PrintCommandError(call.input);
  // Withdrawing tells nobody: the others learn of it when they ask.
  WithState([&](ChatLocked& s, ChatOutput& out) {
    uint32_t colour = context_.Colour(MessageClass::Server);
    if (all) {
      out.ToInput(call.input, "*** Deoffering all files.\r\n", colour);
      s->offers.WithdrawAll();
    } else if (!s->offers.Withdraw(ParseDecimal(argument))) {
      out.ToInput(call.input, "*** File not offered.\r\n", colour);
    }
  });
}

void ChatCommands::CmdGet(const CommandCall& call) { StartDownload(call, 4, false); }

void ChatCommands::CmdXget(const CommandCall& call) { StartDownload(call, 5, true); }

void ChatCommands::StartDownload(const CommandCall& call, size_t argument_at, bool overwrite) {
  std::string_view argument = ArgumentAt(call.line, argument_at);
  const std::filesystem::path directory = download_directory_ ? download_directory_() : std::filesystem::path();
  WithState([&](ChatLocked& s, ChatOutput& out) {
    auto print = [&](std::string_view text) {
      out.ToInput(call.input, std::string(text), context_.Colour(MessageClass::Server));
    };
    if (s->download.running()) return print("*** Already getting another file.\r\n");
    size_t blank = argument.find(' ');
    if (blank == std::string_view::npos) return print(kCommandError);
    std::string_view typed = argument.substr(0, std::min(blank, kChatNameMax));
    std::optional<int> index = ResolveOrReport(s, typed, call.input, "*** User doesn't exist\n\r", out);
    if (!index) return;
    std::optional<GetArguments> parts = SplitGetArguments(argument);
    if (!parts) return print(kCommandError);
    int32_t number = ParseDecimal(parts->number);
    const std::string target =
        DownloadTarget(directory, parts->file_name, s->offeredNames.NameOf(s->peers[*index].address, number));
    if (target.empty()) return print(Format("*** No name known for file #%d: give one after the number.\r\n", number));
    switch (s->download.Start(target, overwrite, s->peers[*index].address, context_.NowMs())) {
      case Download::StartResult::kExists:
        return print("*** File already exists; /xget overwrites it.\r\n");
      case Download::StartResult::kCannotWrite:
        return print("*** File cannot be opened for writing.\r\n");
      case Download::StartResult::kStarted:
        break;
    }
    print(Format("*** Getting file #%d from %s as \"%s\".\r\n", number,
                 std::string(s->peers[*index].nickname.view()).c_str(), s->download.fileName().c_str()));
    delivery_.SendText(s, *index, ChatSubtype::FileRequest, Format("%d", number), out);
  });
}

void ChatCommands::CmdCancel(const CommandCall& call) {
  WithState([&](ChatLocked& s, ChatOutput& out) {
    if (!s->download.running()) {
      out.ToInput(call.input, "*** No download to cancel.\r\n", context_.Colour(MessageClass::Server));
      return;
    }
    transfer_.CancelDownload(s, out);
  });
}

}  // namespace vorn
