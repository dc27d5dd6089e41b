#include "platform/queued_message_window.h"

namespace vorn {

namespace {
// How late a summary of held-back lines may come when nothing else is shown.
constexpr std::chrono::milliseconds kSummaryWait{1000};
}  // namespace

QueuedMessageWindow::QueuedMessageWindow(MessageWindow& window, const Clock& clock, LineQueue::Limits limits)
    : window_(window), queue_(clock, limits), writer_([this](std::stop_token stop) {
        while (!stop.stop_requested()) Write(queue_.WaitAndTake(stop, kSummaryWait));
      }) {}

QueuedMessageWindow::~QueuedMessageWindow() {
  writer_.request_stop();
  writer_.join();
  Write(queue_.Take(true));
}

void QueuedMessageWindow::Write(const std::vector<QueuedText>& texts) {
  for (const QueuedText& text : texts) window_.Append(text.text, text.cls);
}

}  // namespace vorn
