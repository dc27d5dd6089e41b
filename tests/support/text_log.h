#pragma once
// Text that other threads append and a test reads or waits for.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace vorn {

class TextLog {
 public:
  void Add(std::string_view text) {
    {
      std::lock_guard lock(mutex_);
      text_ += text;
    }
    changed_.notify_all();
  }
  std::string Text() const {
    std::lock_guard lock(mutex_);
    return text_;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    text_.clear();
  }
  // Waits (bounded, in real time: the text comes from other threads) until
  // the text holds every needle.
  bool WaitForAll(const std::vector<std::string>& needles, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] {
      for (const std::string& needle : needles)
        if (text_.find(needle) == std::string::npos) return false;
      return true;
    });
  }
  bool WaitFor(std::string_view needle, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    return WaitForAll({std::string(needle)}, limit);
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::string text_;
};

// How often needle occurs in text, overlaps included.
inline size_t CountOf(std::string_view text, std::string_view needle) {
  size_t count = 0;
  for (size_t at = text.find(needle); at != std::string_view::npos; at = text.find(needle, at + 1)) ++count;
  return count;
}

}  // namespace vorn
