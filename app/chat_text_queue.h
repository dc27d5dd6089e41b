#pragma once
// Text for the chat windows from threads other than the UI thread, waiting
// for the UI thread to show it: the receive thread only queues, so it never
// waits for the windows. Bounded in bytes; what does not fit is counted, so
// that the loss can be told once instead of passing silently.
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "chat/chat_output.h"

namespace vorn {

class ChatTextQueue {
 public:
  static constexpr size_t kMaxBytes = 256 * 1024;

  struct Taken {
    std::vector<ChatLine> texts;
    size_t dropped = 0;  // texts that did not fit since the last Take
  };

  // Any thread; false (and counted) when it does not fit.
  bool Push(ChatLine text);
  // Any thread: everything queued, oldest first.
  Taken Take();

 private:
  std::mutex mutex_;
  std::vector<ChatLine> texts_;
  size_t bytes_ = 0;
  size_t dropped_ = 0;
};

}  // namespace vorn
