#include "console_ports.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "platform/clock.h"
#include "platform/queued_message_window.h"

namespace vorn {
namespace {

TEST(StreamMessageWindow, ShowsChatAndNoticesWithoutTheEscapesAPeerSent) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  {
    ManualClock clock;
    StreamMessageWindow stream(out);
    QueuedMessageWindow window(stream, clock);
    window.Append("Hello from \x1B]0;owned\x07<bob\x1B[2K>\r\n", MessageClass::Server);
    window.Append(PrefixLines("[#chat] ", "<bob> one\r\n<bob> \x1B[1Atwo\r\n"), MessageClass::Chat);
  }
  std::rewind(out);
  char buffer[256] = {};
  const size_t read = std::fread(buffer, 1, sizeof buffer - 1, out);
  std::fclose(out);
  EXPECT_EQ(std::string(buffer, read), "Hello from <bob>\n[#chat] <bob> one\n[#chat] <bob> two\n");
}

}  // namespace
}  // namespace vorn
