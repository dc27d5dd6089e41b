#pragma once
// The application object: the ports the core runs on (the Qt UI loop,
// message boxes, the message window, the identity dialog), the Node, and
// the main frame that starts and stops them.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app_prompts.h"
#include "core_adapter.h"
#include "ipx/dosbox_driver.h"
#include "main_frame.h"
#include "node/node.h"
#include "platform/clock.h"
#include "qt_chat_windows.h"
#include "qt_dialogs.h"
#include "qt_ui_loop.h"
#include "settings_dialogs.h"
#include "view_registry.h"

namespace vorn {

struct AppOptions {
  // A server address to connect to once the message window is up.
  std::string command_line;
  NodeOptions node;
  // Set: the driver link talks to DOSBox on 127.0.0.1 and this port (0:
  // any free one).
  std::optional<uint16_t> dosbox_port;
  // Unset port: why DOSBox games cannot be started, for the launcher.
  std::string dosbox_off_reason;
};

class Vorn95App {
 public:
  // dialogs and prompts replace the Qt ones when given (tests answer them);
  // each must outlive the application object.
  Vorn95App(Profile& profile, AppOptions options, Dialogs* dialogs = nullptr, AppPrompts* prompts = nullptr);
  ~Vorn95App();
  Vorn95App(const Vorn95App&) = delete;
  Vorn95App& operator=(const Vorn95App&) = delete;

  // Creates the main frame, which starts the core, then shows it and posts
  // "Message Window". False: the program must end (the failing part has
  // shown its message).
  bool Start();

  CMainFrame& frame() { return *frame_; }
  Node& node() { return *node_; }
  ViewRegistry& views() { return views_; }
  QtUiLoop& ui() { return ui_; }
  QtChatWindows& chatWindows() { return chat_windows_; }
  DosboxDriver* dosbox() { return dosbox_ ? &*dosbox_ : nullptr; }
  QtUserInfoDialog& userInfoDialog() { return user_info_; }

 private:
  AppOptions options_;
  SteadyClock clock_;
  QtUiLoop ui_;
  QtDialogs qt_dialogs_;
  QtPrompts qt_prompts_;
  Dialogs& dialogs_;
  AppPrompts& prompts_;
  QtUserInfoDialog user_info_;
  ViewRegistry views_;
  QtChatWindows chat_windows_;
  // Outlives the node, whose driver link uses it.
  std::optional<DosboxDriver> dosbox_;
  std::unique_ptr<Node> node_;
  std::optional<CoreAdapter> core_;
  // Last, so it goes first: closing it stops the core in order.
  std::unique_ptr<CMainFrame> frame_;
};

}  // namespace vorn
