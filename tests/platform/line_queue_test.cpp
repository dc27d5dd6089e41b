#include "platform/line_queue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>

#include "platform/queued_message_window.h"
#include "platform/text.h"

namespace vorn {
namespace {

// An output nobody drains: Append waits until the test opens it.
class StuckWindow final : public MessageWindow {
 public:
  void Append(std::string_view text, MessageClass) override {
    std::unique_lock lock(mutex_);
    open_.wait(lock, [this] { return opened_; });
    lines_.emplace_back(text);
  }
  void Open() {
    std::lock_guard lock(mutex_);
    opened_ = true;
    open_.notify_all();
  }
  std::vector<std::string> Lines() {
    std::lock_guard lock(mutex_);
    return lines_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable open_;
  bool opened_ = false;
  std::vector<std::string> lines_;
};

std::string Letters(int n) {
  return {static_cast<char>('a' + n % 26), static_cast<char>('a' + n / 26 % 26), static_cast<char>('a' + n / 676 % 26)};
}

// Held-back lines are told when their window ends.
TEST(QueuedMessageWindow, AFloodNeverWaitsForAStuckOutputAndIsSummarised) {
  ManualClock clock;
  StuckWindow output;
  std::vector<std::string> lines;
  {
    QueuedMessageWindow window(output, clock);
    // Each of these would have waited for the output before.
    for (int i = 0; i < 12000; ++i) window.Append(Format("Hello from 127.0.%d.%d:2213\r\n", i / 250, i % 250), {});
    for (int i = 0; i < 12000; ++i) window.Append("<" + Letters(i) + "> hi\r\n", MessageClass::Chat);
    EXPECT_LE(window.QueuedBytes(), LineQueue::Limits{}.max_bytes);
    clock.Advance(1000);  // a new window: similar lines pass again
    window.Append("Hello from 127.0.0.1:2213\r\n", {});
    window.Append("Disconnected from server.\r\n", {});
    output.Open();
  }
  lines = output.Lines();
  EXPECT_EQ(std::ranges::count_if(lines, [](const std::string& l) { return l.starts_with("Hello from"); }), 11);
  EXPECT_EQ(std::ranges::count_if(lines, [](const std::string& l) { return l.starts_with("<"); }), 190);
  EXPECT_NE(std::ranges::find(lines, "11990 similar lines suppressed\r\n"), lines.end());
  EXPECT_NE(std::ranges::find(lines, "11810 lines suppressed: too much output\r\n"), lines.end());
  EXPECT_EQ(lines.back(), "Disconnected from server.\r\n");
}

TEST(SanitizeText, KeepsLineEndsAndTabsAndDropsWhatCouldSteerATerminal) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"plain\ttext\r\n", "plain\ttext\r\n"},
      {"\x1B[2J\x1B[1;31mred\x1B[0m", "red"},  // CSI
      {"\x1B]0;owned\x07title", "title"},      // OSC ended by BEL
      {"\x1B]8;;http://x\x1B\\link", "link"},  // OSC ended by ESC backslash
      {"a\x1B"
       "7b\x1B(Bc",
       "abc"},                                             // short escapes
      {std::string("bell\x07\x08\x7F\x00.", 9), "bell."},  // C0 controls and DEL
      {"csi\x9B"
       "2J",
       "csi2J"},  // a lone C1 byte
      {"\xC2\x9B"
       "31m",
       "31m"},  // a C1 control in UTF-8
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},  // UTF-8 stays
      {"\xC2\x1B[m\x9B", ""},  // what meets once an escape is gone
      {"cut\x1B[12", "cut"},   // unterminated
  };
  for (const auto& c : cases) EXPECT_EQ(SanitizeText(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace vorn
