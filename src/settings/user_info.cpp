#include "settings/user_info.h"

#include "platform/peer_address.h"
#include "platform/text.h"

namespace vorn {
namespace {

constexpr const char* kInfoTitle = "Information not correct";
constexpr const char* kAddressForm = "It must be in the form of 'xxx.xxx.xxx.xxx'.";

// Tracker and proxy texts may carry ":port"; the address is what precedes it,
// as it is when the settings are loaded.
bool NotAnAddressWithPort(const std::string& text) { return !text.empty() && ParseAddressWithPort(text, 0).ip == 0; }

}  // namespace

bool IsUsablePort(int32_t port) { return port > 0 && port <= 0xFFFF; }

std::optional<FormError> CheckUserInfo(const UserInfoForm& form) {
  if (form.nickname.empty()) return FormError{kInfoTitle, "You must enter your nickname!"};
  if (form.nickname.find(' ') != std::string::npos) {
    return FormError{kInfoTitle, "You cannot have a space in your nickname!"};
  }
  if (form.real_name.empty()) return FormError{kInfoTitle, "You must enter your real name!"};
  if (form.email.empty()) return FormError{kInfoTitle, "You must enter your email address!"};
  if (NotAnAddressWithPort(form.tracker)) return FormError{"Tracker Address Not Correct", kAddressForm};
  return std::nullopt;
}

std::optional<FormError> CheckAdvancedOptions(const AdvancedOptionsForm& form) {
  if (!form.my_ip.empty() && ParseDottedQuad(form.my_ip) == 0) return FormError{"IP Address Not Correct", kAddressForm};
  if (NotAnAddressWithPort(form.proxy)) return FormError{"Proxy Address Not Correct", kAddressForm};
  if (!form.port.empty() && !IsUsablePort(ParseDecimal(form.port))) {
    return FormError{"Port Number Not Correct", "It must be in the form of 'xxxx'."};
  }
  return std::nullopt;
}

}  // namespace vorn
