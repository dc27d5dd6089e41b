#include "settings/user_info.h"

#include <gtest/gtest.h>

namespace vorn {
namespace {

// The order of the checks and their messages are the dialogs' (app tests);
// here the edges of the tracker and port rules.
TEST(CheckUserInfo, TrackerAndPortMustBeUsableAsTyped) {
  UserInfoForm form{"Ann Example", "ann", "ann@example.invalid", "", "", true};
  for (const char* good : {"", "10.0.0.1", "10.0.0.1:7000"}) {
    form.tracker = good;
    EXPECT_EQ(CheckUserInfo(form), std::nullopt) << good;
  }
  AdvancedOptionsForm options{"127.0.0.1", "127.0.0.1:3213", "", true, false};
  for (const char* bad : {"0", "-1", "65536", "99999"}) {
    options.port = bad;
    EXPECT_TRUE(CheckAdvancedOptions(options).has_value()) << bad;
  }
  for (const char* good : {"", "2213", "65535"}) {
    options.port = good;
    EXPECT_EQ(CheckAdvancedOptions(options), std::nullopt) << good;
  }
}

}  // namespace
}  // namespace vorn
