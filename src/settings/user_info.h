#pragma once
// The logic of the two dialogs that edit the user's identity and network
// options, without their widgets: the forms, the checks OK runs, and the
// port through which the store runs the identity dialog.
#include <cstdint>
#include <optional>
#include <string>

#include "settings/app_settings.h"

namespace vorn {

struct UserInfoForm {
  std::string real_name;
  std::string nickname;
  std::string email;
  std::string other;
  std::string tracker;  // "Misc" / "Tracker" as stored, empty when none
  bool beep_on_private = true;
  bool timestamps = false;
};

struct AdvancedOptionsForm {
  std::string my_ip;
  std::string proxy;
  std::string port;  // decimal text
  bool fast_join = true;
  bool redirect_queries = false;
  LossProtection loss_protection = LossProtection::kAutomatic;
};

// A message box to show while the dialog stays open.
struct FormError {
  std::string title;
  std::string text;

  friend bool operator==(const FormError&, const FormError&) = default;
};

// A port outside 1..65535 would be cut to a different port when the socket
// is bound, so the dialog refuses it and a stored one is ignored.
bool IsUsablePort(int32_t port);

// The first failing check in the order OK runs them, or nullopt.
std::optional<FormError> CheckUserInfo(const UserInfoForm& form);
std::optional<FormError> CheckAdvancedOptions(const AdvancedOptionsForm& form);

// The identity dialog. Run edits `form` and returns true only for OK with a
// form that passed CheckUserInfo (a failing check keeps the dialog open);
// false for Cancel. Its advanced options button may write the profile at
// once through the settings store.
class UserInfoDialog {
 public:
  virtual ~UserInfoDialog() = default;
  virtual bool Run(UserInfoForm& form, bool first_run) = 0;
};

}  // namespace vorn
