#pragma once
// Test doubles for the settings store's dialogs: they record what was shown
// and answer from a script.
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/dialogs.h"
#include "settings/user_info.h"

namespace vorn {

class ScriptedDialogs final : public Dialogs {
 public:
  struct Shown {
    std::string caption;
    std::string text;
    friend bool operator==(const Shown&, const Shown&) = default;
  };

  void ShowMessage(std::string_view caption, std::string_view text) override {
    shown.push_back({std::string(caption), std::string(text)});
  }
  bool AskYesNo(std::string_view caption, std::string_view text) override {
    ShowMessage(caption, text);
    return answer_yes;
  }
  void Beep() override {}

  std::vector<std::string> Captions() const {
    std::vector<std::string> captions;
    for (const Shown& s : shown) captions.push_back(s.caption);
    return captions;
  }

  std::vector<Shown> shown;
  bool answer_yes = false;
};

// Each Run takes the next step of the script: it edits the form and says
// whether the user pressed OK. Like the real dialog, OK on a form that fails
// CheckUserInfo keeps it open, which here counts as a broken script.
class ScriptedUserInfoDialog final : public UserInfoDialog {
 public:
  using Step = std::function<bool(UserInfoForm&)>;

  static Step Cancel() {
    return [](UserInfoForm&) { return false; };
  }
  static Step Fill(std::string nickname, std::string real_name, std::string email) {
    return [=](UserInfoForm& form) {
      form.nickname = nickname;
      form.realName = real_name;
      form.email = email;
      return !CheckUserInfo(form).has_value();
    };
  }

  bool Run(UserInfoForm& form, bool first_run) override {
    opened_with.push_back(form);
    first_runs.push_back(first_run);
    if (steps.empty()) return false;
    Step step = std::move(steps.front());
    steps.pop_front();
    return step(form);
  }

  std::deque<Step> steps;
  std::vector<UserInfoForm> opened_with;
  std::vector<bool> first_runs;
};

}  // namespace vorn
