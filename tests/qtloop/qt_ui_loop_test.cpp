// The Qt UI loop's hand-off with worker threads. Built on its own, with Qt
// Core only, so that the ThreadSanitizer build runs it too.
#include "qt_ui_loop.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <thread>

#include "net/messages.h"
#include "net/udp_endpoint.h"
#include "node/null_ports.h"

namespace vorn {
namespace {

// The endpoint's message window: it hands the endpoint's joins on to the
// UI loop, as the desktop program's does.
class LoopWindow final : public MessageWindow {
 public:
  explicit LoopWindow(QtUiLoop& ui) : ui_(ui) {}
  void Append(std::string_view, MessageClass) override {}
  void BeginJoiningWorkers() override { ui_.BeginJoiningWorkers(); }
  void EndJoiningWorkers() override { ui_.EndJoiningWorkers(); }

 private:
  QtUiLoop& ui_;
};

// The close joins the worker threads while the UI thread no longer serves
// their calls: a worker waiting in RunSync must be released, and its task
// (which borrows the worker's stack) must never run afterwards.
TEST(QtUiLoop, StopDeliveringReleasesAWaitingWorker) {
  QtUiLoop ui;
  std::atomic<bool> ran{false};
  std::atomic<bool> calling{false};
  std::thread worker([&] {
    calling = true;
    ui.RunSync([&] { ran = true; });
  });
  while (!calling) std::this_thread::yield();
  ui.StopDelivering();
  worker.join();
  QCoreApplication::processEvents();
  EXPECT_FALSE(ran);
  // Later calls and posts return at once and do nothing.
  std::thread late([&] { ui.RunSync([&] { ran = true; }); });
  late.join();
  ui.Post([&] { ran = true; });
  QCoreApplication::processEvents();
  EXPECT_FALSE(ran);
}

// The receive thread waits in a synchronous call for the UI thread, which
// meanwhile closes the endpoint and so joins that thread. The join itself
// releases the reader (without the guard this hangs until the test's
// timeout). Once the join is over, a worker's call runs on the UI thread
// again before it returns.
TEST(QtUiLoop, JoiningAWorkerReleasesItFromASynchronousCall) {
  QtUiLoop ui;
  LoopWindow window(ui);
  SteadyClock clock;
  NullDialogs dialogs;
  SharedAddresses addresses;
  Dispatcher dispatcher;
  std::atomic<bool> waiting{false};
  std::atomic<bool> delivered{true};
  dispatcher.SetHandler(kTypeGameFrame, [&](auto, auto) {
    waiting = true;
    delivered = ui.Deliver([] {});
  });
  UdpEndpoint endpoint(clock, dialogs, window, addresses, dispatcher);
  ASSERT_TRUE(endpoint.OpenUdpEndpoint({0, "127.0.0.1"}) && endpoint.StartReceiveThread());
  std::array<uint8_t, kGameFrameHeaderSize + 1> frame{};
  const uint8_t payload = 1;
  ASSERT_GT(BuildGameFrame(frame, GameFrame{kTypeGameFrame, 1, {}, {}, {&payload, 1}}), 0u);
  ASSERT_GT(endpoint.SendPacket(addresses.local.Load(), frame), 0);
  while (!waiting) std::this_thread::yield();
  endpoint.CloseUdpEndpoint();
  EXPECT_FALSE(delivered);

  QThread* ran_on = nullptr;
  std::atomic<bool> returned{false};
  std::thread later([&] {
    ui.RunSync([&] { ran_on = QThread::currentThread(); });
    returned = ran_on != nullptr;
  });
  ui.RunModal([&] { return returned.load(); });
  later.join();
  EXPECT_EQ(ran_on, QThread::currentThread());
}

}  // namespace
}  // namespace vorn

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
