#pragma once
// A message window whose appends never wait for the output: the text goes
// into a bounded LineQueue and a writer thread of its own hands it on to
// the window behind. The receive thread can then show a line per datagram
// without ever stopping on a stream that nobody drains.
#include <thread>

#include "platform/line_queue.h"

namespace vorn {

class QueuedMessageWindow final : public MessageWindow {
 public:
  QueuedMessageWindow(MessageWindow& window, const Clock& clock, LineQueue::Limits limits = {});
  // Hands on what is still queued, with the last summaries, then stops.
  ~QueuedMessageWindow() override;
  QueuedMessageWindow(const QueuedMessageWindow&) = delete;
  QueuedMessageWindow& operator=(const QueuedMessageWindow&) = delete;

  void Append(std::string_view text, MessageClass cls) override { queue_.Push(text, cls); }
  size_t QueuedBytes() const { return queue_.QueuedBytes(); }

 private:
  void Write(const std::vector<QueuedText>& texts);

  MessageWindow& window_;
  LineQueue queue_;
  std::jthread writer_;
};

}  // namespace vorn
