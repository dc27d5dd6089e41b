#include "options.h"

#include <gtest/gtest.h>

#include "platform/memory_profile.h"

namespace vorn {
namespace {

TEST(VorndOptions, FlagsOverrideTheProfileWithoutWritingIt) {
  std::string error;
  auto options = ParseVorndOptions({"--nick", "alice", "--port=3000", "--my-ip", "127.0.0.1", "127.0.0.5:2300"}, error);
  ASSERT_TRUE(options) << error;
  EXPECT_EQ(options->server, "127.0.0.5:2300");
  MemoryProfile stored;
  stored.WriteString("User Info", "NickName", "bob");
  OverlayProfile profile(stored);
  ApplyOverrides(*options, profile);
  EXPECT_EQ(profile.GetString("User Info", "NickName", ""), "alice");
  EXPECT_EQ(profile.GetString("Misc", "Port", ""), "3000");
  EXPECT_EQ(stored.GetString("User Info", "NickName", ""), "bob");
  EXPECT_EQ(stored.GetString("Misc", "Port", "unset"), "unset");
}

// The flag wins; without it the profile's setting decides, and no setting
// means no driver.
TEST(VorndOptions, TheDosboxPortComesFromTheFlagOrTheProfile) {
  std::string error;
  MemoryProfile profile;
  const VorndOptions none = *ParseVorndOptions({}, error);
  EXPECT_FALSE(DosboxPort(none, profile).on);
  profile.WriteString("Misc", "DOSBox Port", "10300");
  EXPECT_EQ(DosboxPort(none, profile).port, 10300);
  EXPECT_EQ(DosboxPort(*ParseVorndOptions({"--dosbox-port", "10400"}, error), profile).port, 10400);
  const DosboxPortSetting zero = DosboxPort(*ParseVorndOptions({"--dosbox-port", "0"}, error), profile);
  EXPECT_TRUE(zero.on && zero.port == 0);  // refused at start-up
}

TEST(VorndOptions, MistakesAreNamed) {
  std::string error;
  EXPECT_FALSE(ParseVorndOptions({"--nick"}, error));
  EXPECT_EQ(error, "--nick needs a value");
  error.clear();
  EXPECT_FALSE(ParseVorndOptions({"--bogus"}, error));
  EXPECT_EQ(error, "unknown option --bogus");
  error.clear();
  EXPECT_FALSE(ParseVorndOptions({"127.0.0.2", "127.0.0.3"}, error));
}

TEST(VorndOptions, NamesTheFirstMissingIdentityFlag) {
  MemoryProfile profile;
  EXPECT_EQ(MissingIdentityFlag(profile), "--nick");
  profile.WriteString("User Info", "NickName", "a");
  EXPECT_EQ(MissingIdentityFlag(profile), "--real-name");
  profile.WriteString("User Info", "RealName", "A");
  EXPECT_EQ(MissingIdentityFlag(profile), "--email");
  profile.WriteString("User Info", "email", "a@example.org");
  EXPECT_EQ(MissingIdentityFlag(profile), "");
}

}  // namespace
}  // namespace vorn
