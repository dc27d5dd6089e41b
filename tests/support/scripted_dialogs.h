#pragma once
// Test doubles for the settings store's dialogs: they record what was shown
// and answer from a script.
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/dialogs.h"
#include "platform/headless_progress.h"
#include "settings/user_info.h"

namespace vorn {

// What one progress dialog was shown and did.
struct ProgressRecord {
  std::string title;
  std::string text;
  bool close_label = false;
  std::vector<int> countdowns;  // every value shown, the first one included
  int ticks = 0;
  bool cancelled = false;
};

// A headless progress dialog that records into a ProgressRecord and can
// press its button after a given number of ticks. The press is posted, so it
// arrives between ticks as a click would.
class ScriptedProgressDialog final : public HeadlessProgressDialog {
 public:
  ScriptedProgressDialog(UiLoop& ui, ProgressRecord& record, int cancel_at_tick)
      : HeadlessProgressDialog(ui), record_(record), cancel_at_tick_(cancel_at_tick) {}
  void SetTexts(std::string_view title, std::string_view text, bool close_label) override {
    HeadlessProgressDialog::SetTexts(title, text, close_label);
    record_.title = title;
    record_.text = text;
    record_.close_label = close_label;
  }
  void SetCountdown(int count) override {
    HeadlessProgressDialog::SetCountdown(count);
    record_.countdowns.push_back(count);
  }
  void Tick() override {
    HeadlessProgressDialog::Tick();
    if (++record_.ticks != cancel_at_tick_) return;
    ui().Post([this, alive = std::weak_ptr<bool>(alive_)] {
      if (!alive.expired()) Cancel();
    });
  }
  void Cancel() override {
    HeadlessProgressDialog::Cancel();
    record_.cancelled = IsCancelled();
  }

 private:
  ProgressRecord& record_;
  int cancel_at_tick_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

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
  // Null while no loop is set: there is nothing to run a modal wait on.
  std::unique_ptr<ProgressDialog> CreateProgressDialog() override {
    if (loop == nullptr) return nullptr;
    return std::make_unique<ScriptedProgressDialog>(*loop, progress.emplace_back(), cancel_at_tick);
  }

  std::vector<std::string> Captions() const {
    std::vector<std::string> captions;
    for (const Shown& s : shown) captions.push_back(s.caption);
    return captions;
  }

  std::vector<Shown> shown;
  bool answer_yes = false;
  // Progress dialogs run modally on this loop; the test node sets it.
  UiLoop* loop = nullptr;
  // The tick after which a progress dialog's button is pressed; 0: never.
  int cancel_at_tick = 0;
  std::deque<ProgressRecord> progress;  // one per dialog created, in order
};

// Each Run takes the next step of the script: it edits the form and says
// whether the user pressed OK. Like the real dialog, OK on a form that fails
// CheckUserInfo keeps it open, which here counts as a broken script.
class ScriptedUserInfoDialog final : public UserInfoDialog {
 public:
  using Step = std::function<bool(UserInfoForm&)>;

  static Step Fill(std::string nickname, std::string real_name, std::string email) {
    return [=](UserInfoForm& form) {
      form.nickname = nickname;
      form.real_name = real_name;
      form.email = email;
      return !CheckUserInfo(form).has_value();
    };
  }

  bool Run(UserInfoForm& form, bool) override {
    opened_with.push_back(form);
    if (steps.empty()) return false;
    Step step = std::move(steps.front());
    steps.pop_front();
    return step(form);
  }

  std::deque<Step> steps;
  std::vector<UserInfoForm> opened_with;
};

}  // namespace vorn
