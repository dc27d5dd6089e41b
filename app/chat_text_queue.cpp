#include "chat_text_queue.h"

namespace vorn {

bool ChatTextQueue::Push(ChatLine text) {
  std::lock_guard lock(mutex_);
  const size_t size = text.text.size() + text.channel.size();
  if (bytes_ + size > kMaxBytes) {
    ++dropped_;
    return false;
  }
  bytes_ += size;
  texts_.push_back(std::move(text));
  return true;
}

ChatTextQueue::Taken ChatTextQueue::Take() {
  std::lock_guard lock(mutex_);
  Taken taken{std::move(texts_), dropped_};
  texts_.clear();
  bytes_ = 0;
  dropped_ = 0;
  return taken;
}

}  // namespace vorn
