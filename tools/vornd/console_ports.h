#pragma once
// The ports of a node without a window: text to a stream, message boxes as
// lines on standard error, no dialogs to ask anything.
#include <cstdio>
#include <mutex>
#include <string>

#include "platform/dialogs.h"
#include "platform/message_window.h"
#include "platform/ui_loop.h"
#include "settings/user_info.h"

namespace vorn {

// Writes the message window's text with its "\r\n" line ends as "\n",
// without the control characters and escape sequences a peer may have put
// in it. Writing may block: the program puts a QueuedMessageWindow in front.
class StreamMessageWindow final : public MessageWindow {
 public:
  explicit StreamMessageWindow(std::FILE* out) : out_(out) {}
  void Append(std::string_view text, MessageClass cls) override;

 private:
  std::mutex mutex_;
  std::FILE* out_;
  bool pending_cr_ = false;  // a "\r" whose "\n" may come with the next text
};

// A chat window's text with prefix ("[#chat] ") at the start of every line.
std::string PrefixLines(std::string_view prefix, std::string_view text);

class ConsoleDialogs final : public Dialogs {
 public:
  // Progress dialogs wait modally on ui.
  ConsoleDialogs(std::FILE* out, UiLoop& ui) : out_(out), ui_(ui) {}
  void ShowMessage(std::string_view caption, std::string_view text) override;
  // Nobody can answer: every question is answered No.
  bool AskYesNo(std::string_view caption, std::string_view text) override;
  void Beep() override {}
  // Shows nothing: the operation's own lines tell what happens.
  std::unique_ptr<ProgressDialog> CreateProgressDialog() override;

 private:
  std::FILE* out_;
  UiLoop& ui_;
};

// The identity must come from flags or the profile: there is no form to fill.
class NoUserInfoDialog final : public UserInfoDialog {
 public:
  bool Run(UserInfoForm&, bool) override { return false; }
};

}  // namespace vorn
