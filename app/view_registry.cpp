#include "view_registry.h"

#include <algorithm>

#include "platform/text.h"
#include "settings/app_settings.h"
#include "vorn95_view.h"

namespace vorn {

ViewRegistry::ViewRegistry(QtUiLoop& ui, const Clock& clock) : ui_(ui), queued_(clock) {}

uint32_t ViewRegistry::ColorOf(MessageClass cls) const {
  if (colors_) return colors_(cls);
  const AppSettings built_in;
  switch (cls) {
    case MessageClass::Server:
      return built_in.server_color;
    case MessageClass::Private:
      return built_in.private_color;
    case MessageClass::Action:
      return built_in.action_color;
    case MessageClass::Chat:
      return built_in.chat_color;
  }
  return built_in.chat_color;
}

void ViewRegistry::Append(std::string_view text, MessageClass cls) {
  if (text.empty()) return;
  if (ui_.IsUiThread()) {
    ShowQueued();
    Show(text, cls);
    return;
  }
  if (ui_.IsStopped() || !queued_.Push(text, cls)) return;
  if (!show_posted_.exchange(true, std::memory_order_acq_rel)) ui_.Post([this] { ShowQueued(); });
}

void ViewRegistry::AppendToActiveView(std::string_view text, MessageClass cls) {
  ShowQueued();
  if (last_active_ != nullptr) last_active_->Append(text, ColorOf(cls));
}

void ViewRegistry::ShowQueued() {
  show_posted_.store(false, std::memory_order_release);
  for (const QueuedText& queued : queued_.Take()) Show(queued.text, queued.cls);
}

void ViewRegistry::Show(std::string_view text, MessageClass cls) {
  if (message_view_ != nullptr) message_view_->Append(text, ColorOf(cls));
}

bool ViewRegistry::Register(CVorn95View* view) {
  if (creating_message_window_ && message_view_ == nullptr) {
    message_view_ = view;
    return true;
  }
  chat_views_.push_back(view);
  chat_view_count_.store(chat_views_.size(), std::memory_order_release);
  return false;
}

void ViewRegistry::Unregister(CVorn95View* view) {
  if (message_view_ == view) message_view_ = nullptr;
  if (last_active_ == view) last_active_ = nullptr;
  const size_t chats = chat_views_.size();
  chat_views_.erase(std::remove(chat_views_.begin(), chat_views_.end(), view), chat_views_.end());
  chat_view_count_.store(chat_views_.size(), std::memory_order_release);
  if (chats != chat_views_.size() && chat_views_.empty() && on_last_chat_view_closed_) on_last_chat_view_closed_();
}

CVorn95View* ViewRegistry::FindChatView(std::string_view key) const {
  for (CVorn95View* view : chat_views_) {
    if (EqualsIgnoreCase(view->windowKey(), key)) return view;
  }
  return nullptr;
}

CVorn95View* ViewRegistry::FindByInput(int input) const {
  if (message_view_ != nullptr && message_view_->inputId() == input) return message_view_;
  for (CVorn95View* view : chat_views_) {
    if (view->inputId() == input) return view;
  }
  return nullptr;
}

}  // namespace vorn
