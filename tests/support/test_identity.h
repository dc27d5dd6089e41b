#pragma once
// The identity every test node carries, and the own address that keeps it
// on loopback.
#include <string>

#include "platform/profile.h"

namespace vorn {

inline void WriteTestIdentity(Profile& profile, const std::string& nickname) {
  profile.WriteString("User Info", "NickName", nickname);
  profile.WriteString("User Info", "RealName", nickname + " Tester");
  profile.WriteString("User Info", "email", nickname + "@example.org");
  profile.WriteString("Misc", "my_ip", "127.0.0.1");
}

}  // namespace vorn
