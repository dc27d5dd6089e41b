#pragma once
// Chat windows without a screen: each window is its channel key, and every
// line printed into one goes to a sink with that key (vornd prints it as
// "[#chat] text"; tests record it). Input id 0 is the message window's input
// line; window k's input line is the id that OpenChatWindow gave it.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "chat/chat_windows.h"
#include "platform/ui_loop.h"

namespace vorn {

class HeadlessChatWindows final : public ChatWindows {
 public:
  static constexpr ChatInputId kMessageWindowInput = 0;
  // window key ("Server Messages" for the message window), text, colour.
  using Sink = std::function<void(std::string_view key, std::string_view text, uint32_t colour)>;

  HeadlessChatWindows(UiLoop& ui, Sink sink) : ui_(ui), sink_(std::move(sink)) {}
  // Called when the last chat window closes; the chat then leaves chat mode.
  void SetOnLastClosed(std::function<void()> on_last_closed) { on_last_closed_ = std::move(on_last_closed); }
  // The input line of the window for key, or the message window's when there
  // is none.
  ChatInputId InputOf(std::string_view key) const;

  void OpenChatWindow(std::string_view key) override;
  bool FindChatWindow(std::string_view key) const override;
  void BringToTop(std::string_view) override {}
  std::string InputWindowTitle(ChatInputId input) const override;
  void CloseInputWindow(ChatInputId input) override;
  void OpenChatList() override { chat_list_open_ = true; }
  void CloseChatList() override { chat_list_open_ = false; }
  void CloseAllChatWindows() override;
  std::vector<std::string> ChatWindowKeys() const override;
  bool HasChatWindows() const override;
  bool IsChatListOpen() const override { return chat_list_open_; }
  void PrintToChannel(std::string_view key, std::string_view text, uint32_t colour) override;
  void PrintToInputWindow(ChatInputId input, std::string_view text, uint32_t colour) override;
  void RefreshChatList() override {}

 private:
  struct Window {
    ChatInputId input;
    std::string key;
  };
  void Close(ChatInputId input);

  UiLoop& ui_;
  Sink sink_;
  std::function<void()> on_last_closed_;
  mutable std::mutex mutex_;
  std::vector<Window> windows_;
  ChatInputId next_input_ = 1;
  std::atomic<bool> chat_list_open_{false};
};

}  // namespace vorn
