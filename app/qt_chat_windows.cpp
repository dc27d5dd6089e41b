#include "qt_chat_windows.h"

#include <vector>

#include "main_frame.h"
#include "platform/text.h"
#include "vorn95_view.h"

namespace vorn {

void QtChatWindows::OpenChatWindow(std::string_view key) {
  if (frame_.isNull()) return;
  views_.SetCreatingMessageWindow(false);
  frame_->CreateTextView(std::string(key));
}

bool QtChatWindows::FindChatWindow(std::string_view key) const { return views_.FindChatView(key) != nullptr; }

void QtChatWindows::BringToTop(std::string_view key) {
  CVorn95View* view = views_.FindChatView(key);
  if (view != nullptr && !frame_.isNull()) {
    frame_->PostPrivateMessage(CMainFrame::kBringToTop, CMainFrame::kMarker, view->parentWidget());
  }
}

std::string QtChatWindows::InputWindowTitle(ChatInputId input) const {
  const CVorn95View* view = views_.FindByInput(input);
  return view != nullptr ? view->windowKey() : std::string(CVorn95View::kMessageWindowKey);
}

void QtChatWindows::CloseView(CVorn95View* view) {
  if (view != nullptr && !view->isMessageWindow() && view->parentWidget() != nullptr) view->parentWidget()->close();
}

void QtChatWindows::CloseInputWindow(ChatInputId input) {
  ui_.Post([this, input] { CloseView(views_.FindByInput(input)); });
}

void QtChatWindows::CloseAllChatWindows() {
  ui_.Post([this] {
    // Closing changes the list.
    const std::vector<CVorn95View*> open = views_.chatViews();
    for (CVorn95View* view : open) CloseView(view);
  });
}

std::vector<std::string> QtChatWindows::ChatWindowKeys() const {
  std::vector<std::string> keys;
  for (const CVorn95View* view : views_.chatViews()) keys.push_back(view->windowKey());
  return keys;
}

void QtChatWindows::OpenChatList() {
  if (frame_.isNull()) return;
  if (!chat_list_.isNull()) {
    frame_->PostPrivateMessage(CMainFrame::kBringToTop, CMainFrame::kMarker, chat_list_);
    return;
  }
  chat_list_open_.store(true, std::memory_order_release);
  chat_list_ = frame_->CreateChatList([this] {
    // A closing list is not raised again; a new one may open at once.
    chat_list_ = nullptr;
    chat_list_open_.store(false, std::memory_order_release);
  });
}

void QtChatWindows::CloseChatList() {
  ui_.Post([this] {
    if (!chat_list_.isNull()) chat_list_->close();
  });
}

// Any thread: the list reads the peers on the UI thread, in order with the
// other window requests.
void QtChatWindows::RefreshChatList() {
  ui_.Post([this] {
    if (!chat_list_.isNull()) chat_list_->Refresh();
  });
}

void QtChatWindows::Print(ChatLine text) {
  if (ui_.IsUiThread()) {
    ShowQueued();
    Show(text);
    return;
  }
  if (ui_.IsStopped()) return;
  queued_.Push(std::move(text));
  // Even a text that did not fit has its loss told by the next showing.
  if (!show_posted_.exchange(true, std::memory_order_acq_rel)) ui_.Post([this] { ShowQueued(); });
}

void QtChatWindows::ShowQueued() {
  show_posted_.store(false, std::memory_order_release);
  const ChatTextQueue::Taken taken = queued_.Take();
  for (const ChatLine& text : taken.texts) Show(text);
  if (taken.dropped == 0) return;
  views_.Append(
      Format("*** Chat lines not shown, as they came faster than the windows could take them: %zu\r\n", taken.dropped),
      MessageClass::Server);
}

void QtChatWindows::Show(const ChatLine& text) {
  CVorn95View* view = text.to_input ? views_.FindByInput(text.input) : views_.FindChatView(text.channel);
  if (view != nullptr) view->Append(text.text, text.colour);
}

void QtChatWindows::PrintToChannel(std::string_view key, std::string_view text, uint32_t colour) {
  Print({false, 0, std::string(key), std::string(text), colour});
}

void QtChatWindows::PrintToInputWindow(ChatInputId input, std::string_view text, uint32_t colour) {
  Print({true, input, {}, std::string(text), colour});
}

}  // namespace vorn
