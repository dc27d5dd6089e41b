#include "app_options.h"

#include <gtest/gtest.h>

namespace vorn {
namespace {

std::optional<CommandLine> Parse(const QStringList& args, QString& error) {
  return ParseCommandLine(QStringList{QStringLiteral("vorn95")} + args, error);
}

TEST(CommandLine, ServerFlagsAndTheirMistakes) {
  QString error;
  std::optional<CommandLine> line =
      Parse({"--my-ip", "127.0.0.1", "127.0.0.5:2300", "--dosbox-port", "10213", "--config", "/tmp/p.ini"}, error);
  ASSERT_TRUE(line);
  EXPECT_EQ(line->server, "127.0.0.5:2300");
  EXPECT_EQ(line->my_ip, "127.0.0.1");
  EXPECT_EQ(line->config, "/tmp/p.ini");
  EXPECT_EQ(line->dosbox_port, std::optional<uint16_t>(10213));

  EXPECT_FALSE(Parse({"--dosbox-port", "70000"}, error));
  EXPECT_EQ(error, "--dosbox-port needs a port from 1 to 65535");
  EXPECT_FALSE(Parse({"--my-ip"}, error));
  EXPECT_FALSE(Parse({"--frobnicate"}, error));
  EXPECT_FALSE(Parse({"127.0.0.5", "127.0.0.6"}, error));
}

}  // namespace
}  // namespace vorn
