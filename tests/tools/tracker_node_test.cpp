// A node asks vorn-tracker's server for the list and merges what comes back.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/test_node.h"
#include "tracker/tracker.h"

namespace vorn {
namespace {

TEST(TrackerWithNode, AServerListFromTheTrackerIsMergedAndSavedSkippingKnownAddresses) {
  std::string path = "/tmp/vorn-tracker-node-" + std::to_string(::getpid()) + ".txt";
  std::ofstream(path) << "Home 127.0.0.5\nBeta 127.0.0.6:2300\nGamma 127.0.0.7\n";
  SteadyClock clock;
  std::ostringstream log, errors;
  Tracker tracker(clock, log, errors);
  ASSERT_TRUE(tracker.Open({0x7F000001, 0, path}));
  std::jthread serving([&] { tracker.Run(); });

  TestNode n("alice");
  n.profile.WriteString("Misc", "Tracker", "127.0.0.1:" + std::to_string(tracker.LocalAddress().port));
  n.profile.WriteString("Servers", "home", "127.0.0.5");  // already known, under another name
  ASSERT_TRUE(n.node->Start());
  n.node->connection().queries().RequestServerList();

  const ServerList& list = n.node->settings().servers();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (list.size() < 3 && std::chrono::steady_clock::now() < deadline) {
    n.loop.RunReady();  // the merge runs on the UI thread
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_EQ(list.size(), 3u);
  EXPECT_NE(n.node->settings().FindServer("Beta", std::nullopt), nullptr);
  EXPECT_NE(n.node->settings().FindServer(std::nullopt, "127.0.0.7"), nullptr);
  EXPECT_EQ(n.profile.GetString("Servers", "Gamma", ""), "127.0.0.7");  // saved
  EXPECT_NE(n.window.ViewText().find("Requesting server list from tracker..."), std::string::npos);

  tracker.Stop();
  std::remove(path.c_str());
}

}  // namespace
}  // namespace vorn
