#pragma once
// What the chat asks of the windows that show it: one chat window per
// channel key, the input lines (of the chat windows and of the message
// window) and the chat list. The GUI, the headless node and tests implement
// it. The chat never calls it while holding its own lock.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vorn {

// Names one input line; the implementation chooses the values (the message
// window's input line has one too).
using ChatInputId = int;

class ChatWindows {
 public:
  virtual ~ChatWindows() = default;

  // ---- UI thread ----
  // A new chat window titled key, appended to the list of chat windows.
  virtual void OpenChatWindow(std::string_view key) = 0;
  // Whether a chat window's key equals key, ignoring case.
  virtual bool FindChatWindow(std::string_view key) const = 0;
  // Posted: raise the chat window of key.
  virtual void BringToTop(std::string_view key) = 0;
  // The document title of the window holding the input line: a chat
  // window's channel key, "Server Messages" for the message window.
  virtual std::string InputWindowTitle(ChatInputId input) const = 0;
  // Posted close of the chat window holding the input line; nothing for the
  // message window.
  virtual void CloseInputWindow(ChatInputId input) = 0;
  // Opens the chat list, or raises it when it is open.
  virtual void OpenChatList() = 0;
  // Posted close of the chat list, if it is open.
  virtual void CloseChatList() = 0;
  // Posted closes of every chat window, oldest first.
  virtual void CloseAllChatWindows() = 0;
  // The keys of the open chat windows, oldest first.
  virtual std::vector<std::string> ChatWindowKeys() const = 0;

  // ---- any thread ----
  virtual bool HasChatWindows() const = 0;
  virtual bool IsChatListOpen() const = 0;
  // Appends text in colour (0x00BBGGRR) to the chat window of key (ignoring
  // case); dropped when there is none. It never waits for the UI thread: from
  // another thread it may be shown later, in order.
  virtual void PrintToChannel(std::string_view key, std::string_view text, uint32_t colour) = 0;
  // The same for the window holding the input line.
  virtual void PrintToInputWindow(ChatInputId input, std::string_view text, uint32_t colour) = 0;
  // Posted: the chat list reads the peers again, if it is open.
  virtual void RefreshChatList() = 0;
};

}  // namespace vorn
