#include "chat/headless_chat_windows.h"

#include <algorithm>

#include "platform/text.h"

namespace vorn {

ChatInputId HeadlessChatWindows::InputOf(std::string_view key) const {
  std::lock_guard lock(mutex_);
  for (const Window& w : windows_)
    if (EqualsIgnoreCase(w.key, key)) return w.input;
  return kMessageWindowInput;
}

void HeadlessChatWindows::OpenChatWindow(std::string_view key) {
  std::lock_guard lock(mutex_);
  windows_.push_back({next_input_++, std::string(key)});
}

bool HeadlessChatWindows::FindChatWindow(std::string_view key) const { return InputOf(key) != kMessageWindowInput; }

std::string HeadlessChatWindows::InputWindowTitle(ChatInputId input) const {
  std::lock_guard lock(mutex_);
  for (const Window& w : windows_)
    if (w.input == input) return w.key;
  return "Server Messages";
}

void HeadlessChatWindows::CloseInputWindow(ChatInputId input) {
  ui_.Post([this, input] { Close(input); });
}

void HeadlessChatWindows::CloseAllChatWindows() {
  std::vector<ChatInputId> inputs;
  {
    std::lock_guard lock(mutex_);
    for (const Window& w : windows_) inputs.push_back(w.input);
  }
  for (ChatInputId input : inputs) CloseInputWindow(input);
}

std::vector<std::string> HeadlessChatWindows::ChatWindowKeys() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> keys;
  for (const Window& w : windows_) keys.push_back(w.key);
  return keys;
}

void HeadlessChatWindows::Close(ChatInputId input) {
  bool last = false;
  {
    std::lock_guard lock(mutex_);
    size_t removed = std::erase_if(windows_, [input](const Window& w) { return w.input == input; });
    last = removed > 0 && windows_.empty();
  }
  if (last && on_last_closed_) on_last_closed_();
}

bool HeadlessChatWindows::HasChatWindows() const {
  std::lock_guard lock(mutex_);
  return !windows_.empty();
}

void HeadlessChatWindows::PrintToChannel(std::string_view key, std::string_view text, uint32_t colour) {
  std::string shown_key;
  {
    std::lock_guard lock(mutex_);
    auto it =
        std::find_if(windows_.begin(), windows_.end(), [&](const Window& w) { return EqualsIgnoreCase(w.key, key); });
    if (it == windows_.end()) return;
    shown_key = it->key;
  }
  sink_(shown_key, text, colour);
}

void HeadlessChatWindows::PrintToInputWindow(ChatInputId input, std::string_view text, uint32_t colour) {
  sink_(InputWindowTitle(input), text, colour);
}

}  // namespace vorn
