#pragma once
// What a setting given on a command line or found in the profile must look
// like. The settings store reads the profile leniently, as the desktop
// program always has (a port it cannot use is ignored, "999.1.1.1" reads as
// 231.1.1.1); the programs check these values first and refuse to run on a
// value that would be read as something else.
#include <array>
#include <string>
#include <string_view>

#include "platform/profile.h"

namespace vorn {

// Each returns what is wrong with text, or an empty text when it is fine.
std::string CheckPortText(std::string_view text);      // 1 to 65535, digits only
std::string CheckIpText(std::string_view text);        // A.B.C.D, each 0 to 255
std::string CheckAddressText(std::string_view text);   // A.B.C.D or A.B.C.D:PORT
std::string CheckNicknameText(std::string_view text);  // 1 to 15 characters, no spaces or controls

struct SettingRule {
  std::string_view flag;  // the command-line flag that overrides the value
  std::string_view section;
  std::string_view key;
  std::string (*check)(std::string_view);
};

inline constexpr std::array<SettingRule, 5> kSettingRules = {{
    {"--port", "Misc", "Port", CheckPortText},
    {"--my-ip", "Misc", "my_ip", CheckIpText},
    {"--tracker", "Misc", "Tracker", CheckAddressText},
    {"--proxy", "Misc", "Proxy", CheckAddressText},
    {"--nick", "User Info", "NickName", CheckNicknameText},
}};

// "FLAG VALUE: problem" for a value that breaks the flag's rule (flags
// without a rule pass), or an empty text.
std::string CheckFlagValue(std::string_view flag, std::string_view value);

// The first value in the profile (empty ones mean "not set" and pass) that
// breaks its rule, as "FILE: [Section] Key=value: problem"; or an empty text.
std::string CheckProfileValues(Profile& profile, std::string_view file_name);

}  // namespace vorn
