#pragma once
// Ports for programs that drive parts of a node without a player at the
// screen (benchmarks, fuzz targets): they show nothing, and every question
// is answered no.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "chat/chat_windows.h"
#include "platform/dialogs.h"
#include "platform/message_window.h"
#include "settings/user_info.h"

namespace vorn {

class NullDialogs final : public Dialogs {
 public:
  void ShowMessage(std::string_view, std::string_view) override {}
  bool AskYesNo(std::string_view, std::string_view) override { return false; }
  void Beep() override {}
  std::unique_ptr<ProgressDialog> CreateProgressDialog() override { return nullptr; }
};

class NullWindow final : public MessageWindow {
 public:
  void Append(std::string_view, MessageClass) override {}
};

// One "#chat" window for every channel, the chat list closed, and printed
// text dropped; a benchmark or fuzz target overrides what it watches.
class SilentChatWindows : public ChatWindows {
 public:
  void OpenChatWindow(std::string_view) override {}
  bool FindChatWindow(std::string_view) const override { return true; }
  void BringToTop(std::string_view) override {}
  std::string InputWindowTitle(ChatInputId) const override { return "#chat"; }
  void CloseInputWindow(ChatInputId) override {}
  void OpenChatList() override {}
  void CloseChatList() override {}
  void CloseAllChatWindows() override {}
  bool HasChatWindows() const override { return true; }
  bool IsChatListOpen() const override { return false; }
  void PrintToChannel(std::string_view, std::string_view, uint32_t) override {}
  void PrintToInputWindow(ChatInputId, std::string_view, uint32_t) override {}
  void RefreshChatList() override {}
  std::vector<std::string> ChatWindowKeys() const override { return {}; }
};

class NullUserInfo final : public UserInfoDialog {
 public:
  bool Run(UserInfoForm&, bool) override { return false; }
};

}  // namespace vorn
