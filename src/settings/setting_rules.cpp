#include "settings/setting_rules.h"

#include <algorithm>

#include "platform/peer_address.h"
#include "platform/text.h"
#include "settings/app_settings.h"

namespace vorn {
namespace {

bool AllDigits(std::string_view text) { return !text.empty() && std::ranges::all_of(text, IsDigit); }

bool IsPort(std::string_view text) {
  if (!AllDigits(text) || text.size() > 5) return false;
  const int32_t port = ParseDecimal(text);
  return port >= 1 && port <= 65535;
}

bool IsIp(std::string_view text) {
  for (int part = 0; part < 4; ++part) {
    const size_t end = part < 3 ? text.find('.') : text.size();
    if (end == std::string_view::npos) return false;
    const std::string_view digits = text.substr(0, end);
    if (!AllDigits(digits) || digits.size() > 3 || ParseDecimal(digits) > 255) return false;
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return true;
}

}  // namespace

std::string CheckPortText(std::string_view text) { return IsPort(text) ? "" : "not a port from 1 to 65535"; }

std::string CheckIpText(std::string_view text) {
  return IsIp(text) ? "" : "not an address A.B.C.D with each part from 0 to 255";
}

std::string CheckAddressText(std::string_view text) {
  const size_t colon = text.find(':');
  if (IsIp(text.substr(0, colon)) && (colon == std::string_view::npos || IsPort(text.substr(colon + 1)))) return "";
  return "not an address A.B.C.D or A.B.C.D:PORT (port from 1 to 65535)";
}

std::string CheckNicknameText(std::string_view text) {
  const bool fits = !text.empty() && text.size() <= SettingsLimits::kNickname &&
                    std::ranges::none_of(text, [](char c) { return static_cast<unsigned char>(c) <= ' '; });
  return fits ? "" : "not a nickname: 1 to 15 characters without spaces";
}

std::string CheckFlagValue(std::string_view flag, std::string_view value) {
  auto rule = std::ranges::find(kSettingRules, flag, &SettingRule::flag);
  if (rule == kSettingRules.end()) return {};
  std::string problem = rule->check(value);
  return problem.empty() ? problem
                         : Format("%.*s %.*s: %s", static_cast<int>(flag.size()), flag.data(),
                                  static_cast<int>(value.size()), value.data(), problem.c_str());
}

std::string CheckProfileValues(Profile& profile, std::string_view file_name) {
  for (const SettingRule& rule : kSettingRules) {
    const std::string value = profile.GetString(rule.section, rule.key, "");
    if (value.empty()) continue;
    if (std::string problem = rule.check(value); !problem.empty()) {
      return Format("%.*s: [%.*s] %.*s=%s: %s", static_cast<int>(file_name.size()), file_name.data(),
                    static_cast<int>(rule.section.size()), rule.section.data(), static_cast<int>(rule.key.size()),
                    rule.key.data(), value.c_str(), problem.c_str());
    }
  }
  return {};
}

}  // namespace vorn
