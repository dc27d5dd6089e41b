#include "options.h"

#include <gtest/gtest.h>

#include "platform/memory_profile.h"

namespace vorn {
namespace {

TEST(VorndOptions, FlagsOverrideTheProfileWithoutWritingIt) {
  std::string error;
  auto options = ParseVorndOptions(
      {"--nick", "alice", "--port=3000", "--my-ip", "127.0.0.1", "--windowed-transfers", "0", "127.0.0.5:2300"}, error);
  ASSERT_TRUE(options) << error;
  EXPECT_EQ(options->server, "127.0.0.5:2300");
  MemoryProfile stored;
  stored.WriteString("User Info", "NickName", "bob");
  OverlayProfile profile(stored);
  ApplyOverrides(*options, profile);
  EXPECT_EQ(profile.GetString("User Info", "NickName", ""), "alice");
  EXPECT_EQ(profile.GetString("Misc", "Port", ""), "3000");
  EXPECT_EQ(profile.GetInt("Misc", "Windowed Transfers", 1), 0);
  EXPECT_EQ(stored.GetString("User Info", "NickName", ""), "bob");
  EXPECT_EQ(stored.GetString("Misc", "Port", "unset"), "unset");
  // A form writes the run's own value back unchanged: still not stored. A
  // value the user changed is stored.
  EXPECT_TRUE(profile.WriteString("Misc", "Port", "3000"));
  EXPECT_EQ(stored.GetString("Misc", "Port", "unset"), "unset");
  EXPECT_TRUE(profile.WriteString("Misc", "Port", "3001"));
  EXPECT_EQ(stored.GetString("Misc", "Port", ""), "3001");

  // The DOSBox port: the flag wins; without it the profile's setting
  // decides, and no setting means no driver.
  MemoryProfile empty;
  EXPECT_FALSE(DosboxPort(*options, empty).on);
  empty.WriteString("Misc", "DOSBox Port", "10300");
  EXPECT_EQ(DosboxPort(*options, empty).port, 10300);
  EXPECT_EQ(DosboxPort(*ParseVorndOptions({"--dosbox-port", "10400"}, error), empty).port, 10400);
  const DosboxPortSetting zero = DosboxPort(*ParseVorndOptions({"--dosbox-port", "0"}, error), empty);
  EXPECT_TRUE(zero.on && zero.port == 0);  // refused at start-up
}

TEST(VorndOptions, MistakesAndValuesThatBreakTheirRuleAreRefusedByName) {
  const struct {
    std::vector<std::string> args;
    std::string error;
  } cases[] = {
      {{"--nick"}, "--nick needs a value"},
      {{"--bogus"}, "unknown option --bogus"},
      {{"127.0.0.2", "127.0.0.3"}, "more than one server address given"},
      {{"--port=70000"}, "--port 70000: not a port from 1 to 65535"},
      {{"--my-ip", "999.1.1.1"}, "--my-ip 999.1.1.1: not an address A.B.C.D with each part from 0 to 255"},
      {{"--proxy", "abc"}, "--proxy abc: not an address A.B.C.D or A.B.C.D:PORT (port from 1 to 65535)"},
      {{"--nick", "a b"}, "--nick a b: not a nickname: 1 to 15 characters without spaces"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(ParseVorndOptions(c.args, error)) << c.args[0];
    EXPECT_EQ(error, c.error);
  }
  std::string error;
  EXPECT_TRUE(ParseVorndOptions({"--proxy", "127.0.0.3", "--tracker=127.0.0.4:6000", "--nick", "al"}, error)) << error;
}

}  // namespace
}  // namespace vorn
