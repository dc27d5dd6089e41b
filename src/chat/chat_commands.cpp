// The interpreter of input lines: public lines and the slash commands.
#include "chat/chat.h"
#include "chat/command_text.h"
#include "platform/text.h"

namespace vorn {
namespace {

constexpr size_t kMaxQueryName = 16;

constexpr std::string_view kHelpText =
    "*** The following commands are understood:\r\n"
    "*** /away <message> - tell everyone that you are away.\r\n"
    "*** /cancel - stop the running download.\r\n"
    "*** /deoffer [file#|all] - cancel offer(s).\r\n"
    "*** /get <nickname> <#> <myfilename> - get the file <#> as <myfilename>.\r\n"
    "*** /games - list people connected to the Vorn server.\r\n"
    "*** /help - display this help message.\r\n"
    "*** /join <#channel> [<password>] - join a different channel.\r\n"
    "*** /vorn - list people connected to the Vorn server.\r\n"
    "*** /msg [<nickname>|#<node>] <message> - send a private message.\r\n"
    "*** /me <message> - posture a message.\r\n"
    "*** /names - list names and email addresses for everyone on server.\r\n"
    "*** /offer <filename> - offer a file for other people to download.\r\n"
    "*** /part - leave current chat channel.\r\n"
    "*** /ping [<nickname>|#<node>|*] - test connection speed.\r\n"
    "*** /quit - Close this chat window.\r\n"
    "*** /servers - list all active servers and players.\r\n"
    "*** /who [<#channel>|*] - list people using Vorn Chat.\r\n"
    "*** /whois <nickname> - get information on a registered user.\r\n"
    "*** /xget - same as /get except allows overwriting files.\r\n";

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace

const std::array<Chat::Command, 20>& Chat::Commands() {
  // The order decides: the first name the line begins with wins, so WhoIs
  // must come before Who.
  static constexpr std::array<Command, 20> kCommands{{
      {"Help", false, &Chat::CmdHelp},        {"Join", true, &Chat::CmdJoin},
      {"Ping", false, &Chat::CmdPing},        {"Me", true, &Chat::CmdMe},
      {"Msg", true, &Chat::CmdMsg},           {"Quit", true, &Chat::CmdQuit},
      {"Vorn", false, &Chat::CmdPlayers},     {"Games", false, &Chat::CmdPlayers},
      {"Servers", false, &Chat::CmdServers},  {"WhoIs", false, &Chat::CmdWhoIs},
      {"Who", true, &Chat::CmdWho},           {"Away", true, &Chat::CmdAway},
      {"Names", false, &Chat::CmdNames},      {"Part", true, &Chat::CmdPart},
      {"Progress", true, &Chat::CmdProgress}, {"Offer", true, &Chat::CmdOffer},
      {"Deoffer", true, &Chat::CmdDeoffer},   {"Get", true, &Chat::CmdGet},
      {"Xget", true, &Chat::CmdXget},         {"Cancel", true, &Chat::CmdCancel},
  }};
  return kCommands;
}

const Chat::Command* Chat::FindCommand(std::string_view name) {
  for (const Command& command : Commands()) {
    if (StartsWithIgnoreCase(name, command.name)) return &command;
  }
  return nullptr;
}

void Chat::Print(ChatInputId input, std::string text) {
  windows_.PrintToInputWindow(input, text, Colour(MessageClass::Server));
}

void Chat::PrintCommandError(ChatInputId input) { Print(input, std::string(kCommandError)); }

void Chat::ExecuteChatLine(std::string_view line, ChatInputId input) {
  if (line.empty()) return;
  std::string title = windows_.InputWindowTitle(input);
  ReadSettings();
  bool command = line[0] == '/';
  // A chat window left open by a disconnection joins its channel again.
  if (!IsChatModeOn() && windows_.FindChatWindow(title)) {
    EnterChatMode(title);
    AnnounceJoin(title, false);
  }
  WithState([&](ChatOutput& out) {
    peers_.local().channel.Assign(title);
    if (!command) BroadcastText(ChatSubtype::Text, line, out);
  });
  if (!command) return;  // the line shows when its own copy comes back
  const Command* found = FindCommand(line.substr(1));
  if (found == nullptr) return PrintCommandError(input);
  if (found->chatOnly && !IsChatModeOn()) return Print(input, "That command is only valid when Chatting!\r\n");
  (this->*found->run)(CommandCall{line, input});
}

void Chat::JoinChannel(std::string_view key) {
  bool was_on = IsChatModeOn();
  if (!was_on) EnterChatMode(key);
  if (windows_.FindChatWindow(key)) return windows_.BringToTop(key);
  windows_.OpenChatWindow(key);
  AnnounceJoin(key, was_on);
  windows_.BringToTop(key);
}

void Chat::AnnounceJoin(std::string_view key, bool was_on) {
  WithState([&](ChatOutput& out) {
    peers_.local().channel.Assign(key);
    out.RefreshChatList();
    SendLocked(kRelayPeer, ChatSubtype::Hello, {}, out);
    SendLocked(kRelayPeer, ChatSubtype::Hello, {}, out);
    // Users known already are asked about this channel; on the first join
    // only the local user is known, so everybody it reaches is asked.
    BroadcastText(ChatSubtype::WhoQuery, was_on ? key : "*", out);
  });
}

void Chat::SetCurrentChannel(std::string_view key) {
  std::lock_guard lock(mutex_);
  peers_.local().channel.Assign(key);
}

void Chat::LeaveCurrentChannel(std::string_view key) {
  std::lock_guard lock(mutex_);
  if (EqualsIgnoreCase(peers_.local().channel.view(), Truncate(key, kChatNameMax))) peers_.local().channel.Clear();
}

std::optional<int> Chat::ResolveOrReport(std::string_view name, std::optional<ChatInputId> input,
                                         std::string_view no_such_node, ChatOutput& out) {
  ChatTarget target = peers_.ResolveTarget(name);
  if (target.status == TargetStatus::kFound) return target.index;
  if (input) {
    std::string_view text = target.status == TargetStatus::kNoSuchNode ? no_such_node : "*** Unknown user.\r\n";
    out.ToInput(*input, std::string(text), Colour(MessageClass::Server));
  }
  return std::nullopt;
}

void Chat::PingUser(std::string_view target, std::optional<ChatInputId> input) {
  std::string stamp = Format("%d", NowMs());
  WithState([&](ChatOutput& out) {
    std::optional<int> index = ResolveOrReport(target, input, "*** User doesn't exist\r\n", out);
    if (index) SendText(*index, ChatSubtype::PingRequest, stamp, out);
  });
}

void Chat::CmdHelp(const CommandCall& call) { Print(call.input, std::string(kHelpText)); }

void Chat::CmdJoin(const CommandCall& call) {
  size_t blank = call.line.find(' ');
  if (blank == std::string_view::npos) return Print(call.input, "No channel specified!\r\n");
  std::string_view key = call.line.substr(blank + 1);
  if (key.empty() || key[0] != '#' || key.size() > kChatNameMax) return Print(call.input, "Invalid channel name!\r\n");
  JoinChannel(key);
}

void Chat::CmdPing(const CommandCall& call) {
  std::string_view target = ArgumentAt(call.line, 6);
  if (target.empty() || target.size() > kMaxQueryName) return PrintCommandError(call.input);
  if (target[0] != '*') return PingUser(target, call.input);
  std::string stamp = Format("%d", NowMs());
  WithState([&](ChatOutput& out) { BroadcastText(ChatSubtype::PingRequest, stamp, out); });
}

void Chat::CmdMe(const CommandCall& call) {
  std::string_view text = ArgumentAt(call.line, 4);
  if (text.empty()) return;
  WithState([&](ChatOutput& out) { BroadcastText(ChatSubtype::Action, text, out); });
}

void Chat::CmdMsg(const CommandCall& call) {
  std::string_view argument = ArgumentAt(call.line, 5);
  size_t blank = argument.find(' ');
  if (argument.empty() || blank == std::string_view::npos) return PrintCommandError(call.input);
  std::string_view typed = argument.substr(0, std::min(blank, kChatNameMax));
  std::string_view message = TrimLeadingBlanks(argument.substr(blank + 1));
  bool empty_message = false;
  WithState([&](ChatOutput& out) {
    std::optional<int> index = ResolveOrReport(typed, call.input, "*** User doesn't exist\r\n", out);
    if (!index) return;
    if (message.empty()) {
      empty_message = true;
      return;
    }
    // Addressed by number, the user is named by its current nickname.
    std::string nickname(typed[0] == '#' ? peers_[*index].nickname.view() : typed);
    RememberCorrespondent(nickname);
    // Only what left shows as sent.
    for (std::string_view piece : SplitOnCharacters(message, kMaxChatPayload - 1)) {
      if (!SendText(*index, ChatSubtype::Private, piece, out)) continue;
      out.ToInput(call.input, "<-[" + nickname + "]-> " + std::string(piece) + "\r\n", Colour(MessageClass::Private));
    }
  });
  if (empty_message) PrintCommandError(call.input);
}

void Chat::CmdQuit(const CommandCall& call) {
  std::string_view reason = ArgumentAt(call.line, 5);
  if (reason.empty()) reason = "Leaving";
  WithState([&](ChatOutput& out) { BroadcastText(ChatSubtype::Quit, reason, out); });
  LeaveChatMode();
}

void Chat::CmdPlayers(const CommandCall&) { queries_.request_player_list(); }

void Chat::CmdServers(const CommandCall&) { queries_.request_server_list(); }

void Chat::CmdNames(const CommandCall&) { queries_.request_names_list(); }

void Chat::CmdWhoIs(const CommandCall& call) {
  std::string_view nickname = ArgumentAt(call.line, 6);
  if (nickname.empty() || nickname.size() > kMaxQueryName) return PrintCommandError(call.input);
  queries_.request_player_info(nickname);
}

void Chat::CmdWho(const CommandCall& call) {
  std::string_view argument = ArgumentAt(call.line, 4);
  WithState([&](ChatOutput& out) {
    std::string channel(argument.empty() ? peers_.local().channel.view() : argument);
    out.ToInput(call.input, Format("\r\nRequesting list of people on %s...\r\n", channel.c_str()),
                Colour(MessageClass::Server));
    SendText(kRelayPeer, ChatSubtype::WhoQuery, channel, out);
  });
}

void Chat::CmdAway(const CommandCall& call) {
  std::string_view reason = ArgumentAt(call.line, 5);
  WithState([&](ChatOutput& out) {
    away_ = !reason.empty();
    away_text_ = away_ ? "is away (" + std::string(reason) + ")." : "is back.";
    BroadcastText(ChatSubtype::Action, away_text_, out);
  });
}

void Chat::CmdPart(const CommandCall& call) {
  WithState([&](ChatOutput& out) { BroadcastLocked(ChatSubtype::Part, {}, out); });
  windows_.CloseInputWindow(call.input);
}

}  // namespace vorn
