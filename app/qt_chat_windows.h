#pragma once
// The chat's windows: each channel is a text view of the main frame, and
// each view's input line is known to the chat by the view's input id; the
// chat list is one more window of the frame.
#include <QPointer>
#include <atomic>
#include <string>

#include "chat/chat_windows.h"
#include "chat_list_window.h"
#include "chat_text_queue.h"
#include "qt_ui_loop.h"
#include "view_registry.h"

namespace vorn {

class CMainFrame;

class QtChatWindows final : public ChatWindows {
 public:
  QtChatWindows(QtUiLoop& ui, ViewRegistry& views) : ui_(ui), views_(views) {}
  // No chat window opens before the frame exists.
  void SetFrame(CMainFrame* frame) { frame_ = frame; }

  void OpenChatWindow(std::string_view key) override;
  bool FindChatWindow(std::string_view key) const override;
  void BringToTop(std::string_view key) override;
  std::string InputWindowTitle(ChatInputId input) const override;
  void CloseInputWindow(ChatInputId input) override;
  void OpenChatList() override;
  void CloseChatList() override;
  void CloseAllChatWindows() override;
  std::vector<std::string> ChatWindowKeys() const override;

  bool HasChatWindows() const override { return views_.chatViewCount() > 0; }
  bool IsChatListOpen() const override { return chat_list_open_.load(std::memory_order_acquire); }
  void PrintToChannel(std::string_view key, std::string_view text, uint32_t colour) override;
  void PrintToInputWindow(ChatInputId input, std::string_view text, uint32_t colour) override;
  void RefreshChatList() override;

  // UI thread; null while it is closed.
  ChatListWindow* chatList() const { return chat_list_; }

 private:
  // On the UI thread the text is shown at once, after what other threads
  // queued; from any other thread it is queued for a posted task.
  void Print(ChatLine text);
  // UI thread.
  void ShowQueued();
  void Show(const ChatLine& text);
  void CloseView(CVorn95View* view);

  QtUiLoop& ui_;
  ViewRegistry& views_;
  QPointer<CMainFrame> frame_;
  QPointer<ChatListWindow> chat_list_;
  // Read by the receive thread, which leaves join and leave notices to the
  // list while it is open.
  std::atomic<bool> chat_list_open_{false};
  ChatTextQueue queued_;
  std::atomic<bool> show_posted_{false};
};

}  // namespace vorn
