#include "tracker/tracker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/text.h"
#include "support/temp_dir.h"
#include "tools/tool_test_support.h"
#include "tracker/server_list_file.h"
#include "tracker/tracker_options.h"

namespace vorn {
namespace {

using namespace tooltest;
using namespace std::string_literals;

TEST(ServerListText, TakesGoodLinesAndNamesEachBadOne) {
  ParsedServerList parsed = ParseServerListText(
      "# comment\r\n"
      "\n"
      "  Alpha 127.0.0.1\r\n"              // 3: blanks around, CRLF
      "The Beta Server\t127.0.0.2:2214\n"  // 4: a name with blanks, tab before the address
      "lonely\n"                           // 5: no address
      "Sixteen chars!!! 127.0.0.3\n"       // 6: name too long
      "Gamma 127.0.0\n"                    // 7: three parts
      "Delta 127.0.0.1:0\n"                // 8: port 0
      "Eta 255.255.255.255\n"              // 9: broadcast
      "Ctl\x01x 127.0.0.4\n"               // 10: control character
      "Fifteen chars!! 127.0.0.5:7");      // 11: longest name, no final line end
  ASSERT_EQ(parsed.servers.size(), 3u);
  EXPECT_EQ(parsed.servers[0].name, "Alpha");
  EXPECT_EQ(parsed.servers[0].address, "127.0.0.1");
  EXPECT_EQ(parsed.servers[1].name, "The Beta Server");
  EXPECT_EQ(parsed.servers[1].address, "127.0.0.2:2214");
  EXPECT_EQ(parsed.servers[2].name, "Fifteen chars!!");
  std::vector<size_t> bad_lines;
  for (const ListProblem& problem : parsed.problems) bad_lines.push_back(problem.line);
  EXPECT_EQ(bad_lines, (std::vector<size_t>{5, 6, 7, 8, 9, 10}));
}

class TrackerTest : public ::testing::Test {
 protected:
  void WriteList(const std::string& text) { std::ofstream(path_, std::ios::binary | std::ios::trunc) << text; }
  bool Open(const std::string& list) {
    WriteList(list);
    return tracker_.Open({kLoopback, 0, path_});
  }

  // Sends a request and lets the tracker answer it on this thread.
  std::optional<Datagram> Ask(const TestPeer& peer, std::span<const uint8_t> request) {
    peer.Send(tracker_.LocalAddress(), request);
    return Pump(tracker_, peer);
  }
  std::optional<Datagram> Ask(const TestPeer& peer, std::string_view request) { return Ask(peer, Bytes(request)); }

  TempDir dir_;
  const std::string path_ = dir_.File("servers.txt");
  ManualClock clock_;
  std::ostringstream log_;
  std::ostringstream errors_;
  Tracker tracker_{clock_, log_, errors_};
};

TEST_F(TrackerTest, AnswersBothListRequestsWithTheList) {
  ASSERT_TRUE(Open("# two servers\nAlpha 127.0.0.1\n\nThe Beta Server 127.0.0.2:2214\n"));
  TestPeer client;
  std::vector<uint8_t> expected = Bytes(
      "VORN-"
      "Alpha           127.0.0.1\r\n"  // name padded to 15, one blank
      "The Beta Server 127.0.0.2:2214\r\n"
      "\0"s);
  for (std::string_view request : {"VORNq", "VORN="}) {
    std::optional<Datagram> answer = Ask(client, request);
    ASSERT_TRUE(answer) << request;
    EXPECT_EQ(answer->bytes, expected) << request;
    EXPECT_EQ(answer->from, tracker_.LocalAddress());
  }
  EXPECT_NE(log_.str().find("'q': server list with 2 server(s)"), std::string::npos) << log_.str();
  EXPECT_NE(log_.str().find("'=': server list with 2 server(s)"), std::string::npos) << log_.str();
  EXPECT_EQ(errors_.str(), "");

  // A flood from one address (a forged victim's) gets a burst, then no more
  // bytes than it sends; a quiet spell gives the burst back.
  size_t answered = 0;
  for (int batch = 0; batch < 20; ++batch) {
    for (int i = 0; i < 50; ++i) client.Send(tracker_.LocalAddress(), Bytes("VORNq"));
    EXPECT_TRUE(tracker_.RunOnce(std::chrono::milliseconds(kWaitMs)));
    while (client.ReceiveFrom(0)) answered += expected.size();
  }
  EXPECT_LE(answered, 8192 + 1000 * 5u);
  EXPECT_GT(answered, 0u);
  clock_.Advance(10'000);
  EXPECT_TRUE(Ask(client, "VORNq"));
}

TEST_F(TrackerTest, ReadsTheFileAgainWhenItChangesAndReportsBadLinesOnce) {
  ASSERT_TRUE(Open("Alpha 127.0.0.1\n"));
  TestPeer client;
  ASSERT_TRUE(Ask(client, "VORNq"));

  WriteList("Alpha 127.0.0.1\nbroken line 1.2.3\nBeta 127.0.0.2\n");
  std::optional<Datagram> answer = Ask(client, "VORNq");
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->bytes, Bytes("VORN-Alpha           127.0.0.1\r\nBeta            127.0.0.2\r\n\0"s));
  ASSERT_TRUE(Ask(client, "VORNq"));  // unchanged: not read, not reported again
  EXPECT_EQ(errors_.str(), path_ + ":2: the address is not A.B.C.D or A.B.C.D:PORT; line skipped\n");

  // A list that vanishes leaves the last one in use, reported once.
  std::remove(path_.c_str());
  ASSERT_TRUE(Ask(client, "VORNq"));
  answer = Ask(client, "VORNq");
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->bytes.size(), 5u + 2 * 27 + 1);
  std::string errors = errors_.str();
  EXPECT_EQ(errors.find("cannot read"), errors.rfind("cannot read")) << errors;
}

TEST_F(TrackerTest, KeepsAHugeListWithinOneDatagram) {
  std::string file;
  std::string all_entries;
  for (int i = 0; i < 1000; ++i) {
    std::string name = "Server" + std::to_string(i);
    std::string address = Format("127.0.%d.%d:2213", i / 250, i % 250 + 1);
    file += name + " " + address + "\n";
    all_entries += Format("%-15s %s\r\n", name.c_str(), address.c_str());
  }
  ASSERT_TRUE(Open(file));
  TestPeer client;
  std::optional<Datagram> answer = Ask(client, "VORN=");
  ASSERT_TRUE(answer);
  ASSERT_LE(answer->bytes.size(), kMaxDatagram);
  EXPECT_EQ(answer->bytes.back(), 0);
  // Whole entries from the top of the file, and no room for the next one.
  std::string sent(answer->bytes.begin() + 5, answer->bytes.end() - 1);
  EXPECT_EQ(all_entries.substr(0, sent.size()), sent);
  size_t next_entry = all_entries.find("\r\n", sent.size()) + 2 - sent.size();
  EXPECT_GT(answer->bytes.size() + next_entry, kMaxDatagram);
  EXPECT_NE(log_.str().find("more left out"), std::string::npos) << log_.str();
}

// Only a listed server's forward is answered: anyone else could aim the
// answer at any address. Everything else goes unanswered.
TEST_F(TrackerTest, TellsTheAskingPlayerOfAListedServerThatItKeepsNoPlayerInformationAndIgnoresTheRest) {
  TestPeer server, stranger, player;
  ASSERT_TRUE(Open("Alpha " + FormatPeer(server.address()) + "\n"));
  std::array<uint8_t, kPlayerInfoRequestSize> request{};
  ASSERT_EQ(BuildPlayerInfoRequest(request, {"Zed"}), request.size());
  std::array<uint8_t, kForwardedPlayerInfoSize> forwarded{}, to_nobody{};
  ASSERT_EQ(BuildForwardedPlayerInfo(forwarded, request, player.address()), forwarded.size());
  BuildForwardedPlayerInfo(to_nobody, request, {0, 0});

  stranger.Send(tracker_.LocalAddress(), forwarded);
  server.Send(tracker_.LocalAddress(), forwarded);
  std::optional<Datagram> answer = Pump(tracker_, player);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->bytes, Bytes("VORNwNo information about Zed is kept by this tracker.\0"s));
  answer = Ask(server, "VORNq");  // the server itself got nothing before its list
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->bytes[4], '-');
  EXPECT_TRUE(player.Quiet());  // nothing for the stranger's forward
  EXPECT_NE(log_.str().find("not from a listed server"), std::string::npos) << log_.str();

  const std::vector<std::vector<uint8_t>> junk = {
      Bytes(""),
      Bytes("XORNq"),
      Bytes("VORNQ"),
      Bytes("VORNqq"),
      Bytes("VORNP\x7F\0\0\x01\x1A\x0AVORNq"s),  // a wrap is no business of the tracker's
      {request.begin(), request.end()},          // not forwarded by a server
      {to_nobody.begin(), to_nobody.end()},      // nobody to answer
      std::vector<uint8_t>(kMaxDatagram + 1, 'q'),
  };
  for (const auto& datagram : junk) server.Send(tracker_.LocalAddress(), datagram);
  // The tracker's own loop, on its thread as the program runs it, answers
  // only the request after them.
  std::jthread serving([this] { tracker_.Run(); });
  server.Send(tracker_.LocalAddress(), "VORNq");
  answer = server.ReceiveFrom(kWaitMs);
  EXPECT_TRUE(server.Quiet());
  tracker_.Stop();
  serving.join();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->bytes[4], '-');
}

TEST(TrackerOptions, ParsesFlagsAndRefusesMistakes) {
  std::string error;
  std::optional<TrackerOptions> options =
      ParseTrackerOptions({"--port", "7000", "--bind=0.0.0.0", "--list", "s.txt"}, error);
  ASSERT_TRUE(options) << error;
  EXPECT_EQ(options->config.port, 7000);
  EXPECT_EQ(options->config.bind_ip, 0u);
  EXPECT_EQ(options->config.list_path, "s.txt");
  options = ParseTrackerOptions({}, error);
  ASSERT_TRUE(options);
  EXPECT_EQ(options->config.bind_ip, kLoopback);  // reachable from this machine only, unless asked
  ExpectRefused(ParseTrackerOptions, {{"--port", "70000"}, {"--bind", "1.2.3"}, {"--list"}, {"extra"}});
}

}  // namespace
}  // namespace vorn
