#include "settings/user_info.h"

#include <gtest/gtest.h>

namespace vorn {
namespace {

UserInfoForm Valid() { return {"Ann Example", "ann", "ann@example.invalid", "", "", true}; }

std::string TextOf(const std::optional<FormError>& error) { return error ? error->text : "passes"; }

TEST(CheckUserInfo, RefusesInTheOrderOkChecks) {
  UserInfoForm form;
  EXPECT_EQ(CheckUserInfo(form), (FormError{"Information not correct", "You must enter your nickname!"}));
  form.nickname = "an n";
  EXPECT_EQ(TextOf(CheckUserInfo(form)), "You cannot have a space in your nickname!");
  form.nickname = "ann";
  EXPECT_EQ(TextOf(CheckUserInfo(form)), "You must enter your real name!");
  form.realName = "Ann";
  EXPECT_EQ(TextOf(CheckUserInfo(form)), "You must enter your email address!");
  form.email = "a@b";
  EXPECT_EQ(CheckUserInfo(form), std::nullopt);
}

TEST(CheckUserInfo, TrackerMustBeEmptyOrAnAddress) {
  UserInfoForm form = Valid();
  for (const char* good : {"", "10.0.0.1", "10.0.0.1:7000"}) {
    form.tracker = good;
    EXPECT_EQ(CheckUserInfo(form), std::nullopt) << good;
  }
  form.tracker = "tracker.invalid";
  EXPECT_EQ(CheckUserInfo(form),
            (FormError{"Tracker Address Not Correct", "It must be in the form of 'xxx.xxx.xxx.xxx'."}));
}

TEST(CheckAdvancedOptions, ChecksAddressProxyAndPortInTurn) {
  AdvancedOptionsForm form{"own", "proxy", "port", true, false};
  EXPECT_EQ(CheckAdvancedOptions(form)->title, "IP Address Not Correct");
  form.myIp = "127.0.0.1";
  EXPECT_EQ(CheckAdvancedOptions(form)->title, "Proxy Address Not Correct");
  form.proxy = "127.0.0.1:3213";
  EXPECT_EQ(CheckAdvancedOptions(form), (FormError{"Port Number Not Correct", "It must be in the form of 'xxxx'."}));
  // A port the socket could not take as typed is refused too.
  for (const char* bad : {"0", "-1", "65536", "99999"}) {
    form.port = bad;
    EXPECT_TRUE(CheckAdvancedOptions(form).has_value()) << bad;
  }
  for (const char* good : {"", "2213", "65535"}) {
    form.port = good;
    EXPECT_EQ(CheckAdvancedOptions(form), std::nullopt) << good;
  }
}

}  // namespace
}  // namespace vorn
