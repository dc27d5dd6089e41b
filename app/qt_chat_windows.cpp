#include "qt_chat_windows.h"

#include <vector>

#include "main_frame.h"
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

void QtChatWindows::Show(std::string_view text, const std::function<void(std::string_view)>& show) {
  if (ui_.Deliver([&] { show(text); }) || ui_.IsStopped()) return;
  ui_.Post([show, copy = std::string(text)] { show(copy); });
}

void QtChatWindows::PrintToChannel(std::string_view key, std::string_view text, uint32_t colour) {
  Show(text, [this, channel = std::string(key), colour](std::string_view shown) {
    if (CVorn95View* view = views_.FindChatView(channel)) view->Append(shown, colour);
  });
}

void QtChatWindows::PrintToInputWindow(ChatInputId input, std::string_view text, uint32_t colour) {
  Show(text, [this, input, colour](std::string_view shown) {
    if (CVorn95View* view = views_.FindByInput(input)) view->Append(shown, colour);
  });
}

}  // namespace vorn
