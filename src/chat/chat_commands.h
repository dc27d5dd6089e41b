#pragma once
// The interpreter of the chat's input lines, on the UI thread: public lines
// and the slash commands. Each command takes the state lock for what it
// changes; chat mode itself (joining, leaving) is the Chat's.
#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "chat/chat_context.h"
#include "chat/chat_delivery.h"
#include "chat/chat_transfer.h"

namespace vorn {

class Chat;

class ChatCommands {
 public:
  using DirectoryHook = std::function<std::filesystem::path()>;

  // download_directory: asked before a download starts for the folder its
  // relative name is taken from; none: the chat's file directory.
  ChatCommands(Chat& chat, ChatContext& context, ChatState& state, ChatDelivery& delivery, ChatTransfer& transfer,
               DirectoryHook download_directory)
      : chat_(chat),
        context_(context),
        state_(state),
        delivery_(delivery),
        transfer_(transfer),
        download_directory_(std::move(download_directory)) {}

  void Execute(std::string_view line, ChatInputId input);
  // After joining key: the users are asked who is on it.
  void AnnounceJoin(std::string_view key, bool was_on);
  // Errors are printed only when an input line is given.
  void PingUser(std::string_view target, std::optional<ChatInputId> input);

 private:
  struct CommandCall {
    std::string_view line;
    ChatInputId input = 0;
  };
  using CommandHandler = void (ChatCommands::*)(const CommandCall&);
  struct Command {
    std::string_view name;
    bool chat_only = false;
    CommandHandler run = nullptr;
  };

  template <typename Work>
  void WithState(Work&& work) {
    context_.WithState(state_, std::forward<Work>(work));
  }
  static const std::array<Command, 20>& Commands();
  static const Command* FindCommand(std::string_view name);
  void Print(ChatInputId input, std::string text);
  void PrintCommandError(ChatInputId input);
  // A target's errors, printed when an input line is given.
  std::optional<int> ResolveOrReport(ChatLocked& s, std::string_view name, std::optional<ChatInputId> input,
                                     std::string_view no_such_node, ChatOutput& out);

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

  // Offers and downloads (chat_transfer_commands.cpp).
  void CmdProgress(const CommandCall& call);
  void CmdOffer(const CommandCall& call);
  void CmdDeoffer(const CommandCall& call);
  void CmdGet(const CommandCall& call);
  void CmdXget(const CommandCall& call);
  void CmdCancel(const CommandCall& call);
  void StartDownload(const CommandCall& call, size_t argument_at, bool overwrite);

  Chat& chat_;
  ChatContext& context_;
  ChatState& state_;
  ChatDelivery& delivery_;
  ChatTransfer& transfer_;
  const DirectoryHook download_directory_;
};

}  // namespace vorn
