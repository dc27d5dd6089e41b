// The interpreter of input lines: public lines and the slash commands.
#include "chat/chat_commands.h"

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

const std::array<ChatCommands::Command, 20>& ChatCommands::Commands() {
  // The order decides: the first name the line begins with wins, so WhoIs
  // must come before Who.
  static constexpr std::array<Command, 20> kCommands{{
      {"Help", false, &ChatCommands::CmdHelp},        {"Join", true, &ChatCommands::CmdJoin},
      {"Ping", false, &ChatCommands::CmdPing},        {"Me", true, &ChatCommands::CmdMe},
      {"Msg", true, &ChatCommands::CmdMsg},           {"Quit", true, &ChatCommands::CmdQuit},
      {"Vorn", false, &ChatCommands::CmdPlayers},     {"Games", false, &ChatCommands::CmdPlayers},
      {"Servers", false, &ChatCommands::CmdServers},  {"WhoIs", false, &ChatCommands::CmdWhoIs},
      {"Who", true, &ChatCommands::CmdWho},           {"Away", true, &ChatCommands::CmdAway},
      {"Names", false, &ChatCommands::CmdNames},      {"Part", true, &ChatCommands::CmdPart},
      {"Progress", true, &ChatCommands::CmdProgress}, {"Offer", true, &ChatCommands::CmdOffer},
      {"Deoffer", true, &ChatCommands::CmdDeoffer},   {"Get", true, &ChatCommands::CmdGet},
      {"Xget", true, &ChatCommands::CmdXget},         {"Cancel", true, &ChatCommands::CmdCancel},
  }};
  return kCommands;
}

const ChatCommands::Command* ChatCommands::FindCommand(std::string_view name) {
  for (const Command& command : Commands()) {
    if (StartsWithIgnoreCase(name, command.name)) return &command;
  }
  return nullptr;
}

void ChatCommands::Print(ChatInputId input, std::string text) {
  context_.windows.PrintToInputWindow(input, text, context_.Colour(MessageClass::Server));
}

void ChatCommands::PrintCommandError(ChatInputId input) { Print(input, std::string(kCommandError)); }

void ChatCommands::Execute(std::string_view line, ChatInputId input) {
  if (line.empty()) return;
  std::string title = context_.windows.InputWindowTitle(input);
  context_.ReadSettings();
  bool command = line[0] == '/';
  // A chat window left open by a disconnection joins its channel again.
  if (!chat_.IsChatModeOn() && context_.windows.FindChatWindow(title)) {
    chat_.EnterChatMode(title);
    AnnounceJoin(title, false);
  }
  WithState([&](ChatLocked& s, ChatOutput& out) {
    s->peers.local().channel.Assign(title);
    if (!command) delivery_.BroadcastText(s, ChatSubtype::Text, line, out);
  });
  if (!command) return;  // the line shows when its own copy comes back
  const Command* found = FindCommand(line.substr(1));
  if (found == nullptr) return PrintCommandError(input);
  if (found->chat_only && !chat_.IsChatModeOn()) return Print(input, "That command is only valid when Chatting!\r\n");
  (this->*found->run)(CommandCall{line, input});
}

void ChatCommands::AnnounceJoin(std::string_view key, bool was_on) {
  WithState([&](ChatLocked& s, ChatOutput& out) {
    s->peers.local().channel.Assign(key);
    out.RefreshChatList();
    delivery_.Send(s, kRelayPeer, ChatSubtype::Hello, {}, out);
    delivery_.Send(s, kRelayPeer, ChatSubtype::Hello, {}, out);
    // Users known already are asked about this channel; on the first join
    // only the local user is known, so everybody it reaches is asked.
    delivery_.BroadcastText(s, ChatSubtype::WhoQuery, was_on ? key : "*", out);
  });
}

std::optional<int> ChatCommands::ResolveOrReport(ChatLocked& s, std::string_view name, std::optional<ChatInputId> input,
                                                 std::string_view no_such_node, ChatOutput& out) {
  ChatTarget target = s->peers.ResolveTarget(name);
  if (target.status == TargetStatus::kFound) return target.index;
  if (input) {
    std::string_view text = target.status == TargetStatus::kNoSuchNode ? no_such_node : "*** Unknown user.\r\n";
    out.ToInput(*input, std::string(text), context_.Colour(MessageClass::Server));
  }
  return std::nullopt;
}

void ChatCommands::PingUser(std::string_view target, std::optional<ChatInputId> input) {
  std::string stamp = Format("%d", context_.NowMs());
  WithState([&](ChatLocked& s, ChatOutput& out) {
    std::optional<int> index = ResolveOrReport(s, target, input, "*** User doesn't exist\r\n", out);
    if (index) delivery_.SendText(s, *index, ChatSubtype::PingRequest, stamp, out);
  });
}

void ChatCommands::CmdHelp(const CommandCall& call) { Print(call.input, std::string(kHelpText)); }

void ChatCommands::CmdJoin(const CommandCall& call) {
  size_t blank = call.line.find(' ');
  if (blank == std::string_view::npos) return Print(call.input, "No channel specified!\r\n");
  std::string_view key = call.line.substr(blank + 1);
  if (key.empty() || key[0] != '#' || key.size() > kChatNameMax) return Print(call.input, "Invalid channel name!\r\n");
  chat_.JoinChannel(key);
}

void ChatCommands::CmdPing(const CommandCall& call) {
  std::string_view target = ArgumentAt(call.line, 6);
  if (target.empty() || target.size() > kMaxQueryName) return PrintCommandError(call.input);
  if (target[0] != '*') return PingUser(target, call.input);
  std::string stamp = Format("%d", context_.NowMs());
  WithState([&](ChatLocked& s, ChatOutput& out) { delivery_.BroadcastText(s, ChatSubtype::PingRequest, stamp, out); });
}

void ChatCommands::CmdMe(const CommandCall& call) {
  std::string_view text = ArgumentAt(call.line, 4);
  if (text.empty()) return;
  WithState([&](ChatLocked& s, ChatOutput& out) { delivery_.BroadcastText(s, ChatSubtype::Action, text, out); });
}

void ChatCommands::CmdMsg(const CommandCall& call) {
  std::string_view argument = ArgumentAt(call.line, 5);
  size_t blank = argument.find(' ');
  if (argument.empty() || blank == std::string_view::npos) return PrintCommandError(call.input);
  std::string_view typed = argument.substr(0, std::min(blank, kChatNameMax));
  std::string_view message = TrimLeadingBlanks(argument.substr(blank + 1));
  bool empty_message = false;
  WithState([&](ChatLocked& s, ChatOutput& out) {
    std::optional<int> index = ResolveOrReport(s, typed, call.input, "*** User doesn't exist\r\n", out);
    if (!index) return;
    if (message.empty()) {
      empty_message = true;
      return;
    }
    // Addressed by number, the user is named by its current nickname.
    std::string nickname(typed[0] == '#' ? s->peers[*index].nickname.view() : typed);
    s->RememberCorrespondent(nickname);
    // Only what left shows as sent.
    for (std::string_view piece : SplitOnCharacters(message, kMaxChatPayload - 1)) {
      if (!delivery_.SendText(s, *index, ChatSubtype::Private, piece, out)) continue;
      out.ToInput(call.input, "<-[" + nickname + "]-> " + std::string(piece) + "\r\n",
                  context_.Colour(MessageClass::Private));
    }
  });
  if (empty_message) PrintCommandError(call.input);
}

void ChatCommands::CmdQuit(const CommandCall& call) {
  std::string_view reason = ArgumentAt(call.line, 5);
  if (reason.empty()) reason = "Leaving";
  WithState([&](ChatLocked& s, ChatOutput& out) { delivery_.BroadcastText(s, ChatSubtype::Quit, reason, out); });
  chat_.LeaveChatMode();
}

void ChatCommands::CmdPlayers(const CommandCall&) { context_.queries.request_player_list(); }

void ChatCommands::CmdServers(const CommandCall&) { context_.queries.request_server_list(); }

void ChatCommands::CmdNames(const CommandCall&) { context_.queries.request_names_list(); }

void ChatCommands::CmdWhoIs(const CommandCall& call) {
  std::string_view nickname = ArgumentAt(call.line, 6);
  if (nickname.empty() || nickname.size() > kMaxQueryName) return PrintCommandError(call.input);
  context_.queries.request_player_info(nickname);
}

void ChatCommands::CmdWho(const CommandCall& call) {
  std::string_view argument = ArgumentAt(call.line, 4);
  WithState([&](ChatLocked& s, ChatOutput& out) {
    std::string channel(argument.empty() ? s->peers.local().channel.view() : argument);
    out.ToInput(call.input, Format("\r\nRequesting list of people on %s...\r\n", channel.c_str()),
                context_.Colour(MessageClass::Server));
    delivery_.SendText(s, kRelayPeer, ChatSubtype::WhoQuery, channel, out);
  });
}

void ChatCommands::CmdAway(const CommandCall& call) {
  std::string_view reason = ArgumentAt(call.line, 5);
  WithState([&](ChatLocked& s, ChatOutput& out) {
    s->away = !reason.empty();
    s->awayText = s->away ? "is away (" + std::string(reason) + ")." : "is back.";
    delivery_.BroadcastText(s, ChatSubtype::Action, s->awayText, out);
  });
}

void ChatCommands::CmdPart(const CommandCall& call) {
  WithState([&](ChatLocked& s, ChatOutput& out) { delivery_.Broadcast(s, ChatSubtype::Part, {}, out); });
  context_.windows.CloseInputWindow(call.input);
}

}  // namespace vorn
