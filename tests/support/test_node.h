#pragma once
// A whole node for tests: manual clock, a loop that jumps over idle time, an
// in-memory profile with an identity and the own address 127.0.0.1, and a
// message window that records what it is given.
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "node/node.h"
#include "platform/event_loop.h"
#include "platform/memory_profile.h"
#include "support/scripted_dialogs.h"
#include "support/test_identity.h"
#include "support/text_log.h"
#include "support/traffic.h"

namespace vorn {

// The message window's text, and apart from it the query output.
class RecordingWindow final : public MessageWindow {
 public:
  void Append(std::string_view text, MessageClass) override { text_.Add(text); }
  void AppendToActiveView(std::string_view text, MessageClass) override { view_text_.Add(text); }
  std::string Text() const { return text_.Text(); }
  std::string ViewText() const { return view_text_.Text(); }
  void Clear() {
    text_.Clear();
    view_text_.Clear();
  }
  bool WaitFor(std::string_view needle, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    return text_.WaitFor(needle, limit);
  }

 private:
  TextLog text_;
  TextLog view_text_;
};

struct TestNode {
  explicit TestNode(const std::string& nickname) {
    WriteTestIdentity(profile, nickname);
    NodeOptions options;
    options.ephemeral_port = true;
    node = std::make_unique<Node>(NodePorts{clock, loop, window, dialogs, profile, user_info}, options);
    dialogs.loop = &loop;
  }
  // The node says bye as it shuts down, perhaps to peers a test has already
  // closed: its clock no longer waits for their answers then.
  ~TestNode() {
    clock.SetSleepHook({});
    node.reset();
  }
  TestNode(TestNode&&) = delete;
  PeerAddress address() const { return node->LocalAddress(); }

  // Joins a test's traffic count: every sleep on this node's clock then waits
  // until the datagrams sent to the test's nodes and fake peers have been
  // handled. Call before Start.
  void CountTraffic(TrafficCounter& counter) {
    traffic = &counter;
    node->endpoint().SetTrafficObserver(&counter);
    clock.SetSleepHook([&counter] { counter.WaitSettled(); });
  }
  // Starts the node and watches its bound address (which stays its address
  // on loopback even when a server reports another).
  bool Start() {
    if (!node->Start()) return false;
    if (traffic != nullptr) traffic->Watch({0x7F000001, node->endpoint().BoundPort()});
    return true;
  }
  PeerAddress bound() const { return {0x7F000001, node->endpoint().BoundPort()}; }
  TrafficCounter* traffic = nullptr;

  ManualClock clock;
  EventLoop loop{clock, EventLoop::Idle::AdvanceClock};
  RecordingWindow window;
  ScriptedDialogs dialogs;
  ScriptedUserInfoDialog user_info;
  MemoryProfile profile;
  std::unique_ptr<Node> node;
};

}  // namespace vorn
