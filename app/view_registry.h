#pragma once
// The application object's record of its text views: the one message
// window, the chat windows, and the view activated last. It is the core's
// MessageWindow: text from the UI thread is shown at once; text from other
// threads goes into a bounded, rate-limited queue that a posted task shows,
// so a worker (the receive thread above all) never waits for the UI thread.
// Text is dropped while there is no message window.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "platform/line_queue.h"
#include "platform/message_window.h"
#include "qt_ui_loop.h"

namespace vorn {

class CVorn95View;

class ViewRegistry final : public MessageWindow {
 public:
  using ColorSource = std::function<uint32_t(MessageClass)>;

  ViewRegistry(QtUiLoop& ui, const Clock& clock);

  // Set before any other thread appends; the source itself must be safe to
  // call from any thread. Until then the built-in colours are used.
  void SetColorSource(ColorSource colors) { colors_ = std::move(colors); }
  uint32_t ColorOf(MessageClass cls) const;

  // Any thread.
  void Append(std::string_view text, MessageClass cls) override;
  // UI thread: into the view activated last (after what other threads have
  // queued); dropped when there is none.
  void AppendToActiveView(std::string_view text, MessageClass cls) override;
  // The synchronous appends are the UI loop's: it releases them.
  void BeginJoiningWorkers() override { ui_.BeginJoiningWorkers(); }
  void EndJoiningWorkers() override { ui_.EndJoiningWorkers(); }

  // ---- UI thread ----
  // While set, a new view becomes the message window; otherwise a chat window.
  void SetCreatingMessageWindow(bool creating) { creating_message_window_ = creating; }
  bool creatingMessageWindow() const { return creating_message_window_; }
  // Returns true when the view became the message window.
  bool Register(CVorn95View* view);
  // Forgets the view everywhere, as the message window, a chat window and
  // the view activated last. Closing the last chat window leaves chat mode.
  void Unregister(CVorn95View* view);
  void SetOnLastChatViewClosed(std::function<void()> on_last) { on_last_chat_view_closed_ = std::move(on_last); }
  // The chat window of key, ignoring case, or of input; null when none.
  CVorn95View* FindChatView(std::string_view key) const;
  CVorn95View* FindByInput(int input) const;
  void SetLastActive(CVorn95View* view) { last_active_ = view; }

  CVorn95View* messageView() const { return message_view_; }
  CVorn95View* lastActive() const { return last_active_; }
  const std::vector<CVorn95View*>& chatViews() const { return chat_views_; }
  // Any thread.
  size_t chatViewCount() const { return chat_view_count_.load(std::memory_order_acquire); }

 private:
  // UI thread: what other threads have queued, in order.
  void ShowQueued();
  void Show(std::string_view text, MessageClass cls);

  QtUiLoop& ui_;
  LineQueue queued_;
  std::atomic<bool> show_posted_{false};
  ColorSource colors_;
  std::function<void()> on_last_chat_view_closed_;
  bool creating_message_window_ = false;
  CVorn95View* message_view_ = nullptr;
  CVorn95View* last_active_ = nullptr;
  std::vector<CVorn95View*> chat_views_;
  std::atomic<size_t> chat_view_count_{0};
};

}  // namespace vorn
