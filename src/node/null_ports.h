#pragma once
// Ports for programs that drive parts of a node without a player at the
// screen (benchmarks, fuzz targets): they show nothing, and every question
// is answered no.
#include <memory>
#include <string_view>

#include "platform/dialogs.h"
#include "platform/message_window.h"
#include "settings/user_info.h"

namespace vorn {

class NullDialogs final : public Dialogs {
 public:
  void ShowMessage(std::string_view, std::string_view) override {}
  bool AskYesNo(std::string_view, std::string_view) override { return false; }
  void Beep() override {}
  std::unique_ptr<ProgressDialog> CreateProgressDialog() override { return nullptr; }
};

class NullWindow final : public MessageWindow {
 public:
  void Append(std::string_view, MessageClass) override {}
};

class NullUserInfo final : public UserInfoDialog {
 public:
  bool Run(UserInfoForm&, bool) override { return false; }
};

}  // namespace vorn
