#include <gtest/gtest.h>

#include "chat/chat_test_support.h"

namespace vorn {
namespace {

constexpr std::string_view kCommandError = "*** Command error.  Type /help for a list of commands.\r\n";

TEST(ChatCommands, ErrorLinesAreExact) {
  ChatTrio trio;
  trio.network.log.clear();
  ChatNode& a = trio.a;
  a.ExpectPrints("/frobnicate", kCommandError);
  a.ExpectPrints("/join", "No channel specified!\r\n");
  a.ExpectPrints("/join  #chat", "Invalid channel name!\r\n");  // the key begins with a blank
  a.ExpectPrints("/msg Bob   ", kCommandError);
  a.ExpectPrints("/msg Zed hi", "*** Unknown user.\r\n");
  a.ExpectPrints("/msg #100 hi", "*** User doesn't exist\r\n");
  EXPECT_TRUE(trio.network.log.empty());  // no error sent anything
  a.ExpectPrints("/msg #2 psst", "<-[Carol]-> psst\r\n");
}

// Before the first join only the chat commands are refused; the first join
// asks only itself and opens the window once.
TEST(ChatCommands, ChatOnlyCommandsNeedChatModeAndTheFirstJoinOpensItsWindowOnce) {
  ManualClock clock;
  ChatNetwork network;
  ChatNode a("Alice", 5001, clock, network);
  a.ExpectPrints("/Who", "That command is only valid when Chatting!\r\n", "Server Messages");
  a.ExpectPrints("/get bob 1 x", "That command is only valid when Chatting!\r\n", "Server Messages");
  a.windows.ClearText();
  a.Type("/HeLp", "Server Messages");
  EXPECT_EQ(a.windows.MessageText().rfind("*** The following commands are understood:\r\n", 0), 0u);
  for (std::string_view line : {"/vorn", "/GAMES", "/servers", "/names", "/whoisbob", "/whois carol"})
    a.Type(line, "Server Messages");
  EXPECT_EQ(a.queries, (std::vector<std::string>{"players", "players", "servers", "names", "info bob", "info carol"}));
  a.profile.WriteInt("Windows", "Chat List Open", 1);
  a.chat->JoinChannel("#chat");
  network.Deliver();
  EXPECT_TRUE(a.windows.ports.IsChatListOpen());
  EXPECT_EQ(a.windows.Text("#chat"), "Alice is on channel #chat.\r\n");
  size_t sent = network.log.size();
  EXPECT_EQ(CountSubtype(network.log, ChatSubtype::Hello), 2);
  a.chat->JoinChannel("#CHAT");
  EXPECT_EQ(network.log.size(), sent);
  EXPECT_EQ(a.windows.ports.ChatWindowKeys(), std::vector<std::string>{"#chat"});
}

TEST(ChatCommands, LinesCarryTheChannelOfTheWindowTheyWereTypedIn) {
  ChatTrio trio;
  trio.b.chat->JoinChannel("#games");
  trio.network.Deliver();
  trio.a.chat->JoinChannel("#games");
  trio.network.Deliver();
  trio.b.windows.ClearText();
  trio.a.Type("in games", "#games");
  trio.a.Type("/meows", "#chat");  // letters after a name still match it
  trio.a.Say("from the message window", "Server Messages");
  EXPECT_EQ(trio.b.windows.Text("#games"), "<Alice>              in games\r\n");
  EXPECT_EQ(trio.b.windows.Text("#chat"), "* Alice              ws\r\n");
  EXPECT_EQ(trio.a.chat->Peer(kLocalPeer).channel.view(), "Server Messages");

  // Activating a window makes its channel current at once: the next
  // acknowledgement carries it; closing it leaves no channel.
  const auto channel_of_ack_from_alice = [&] {
    trio.network.log.clear();
    trio.b.Say("hello", "#games");
    for (const SentDatagram& d : trio.network.log) {
      if (d.from == trio.a.address && d.view().packet.subtype == ChatSubtype::Ack)
        return std::string(d.view().packet.channel);
    }
    return std::string("none");
  };
  trio.a.chat->SetCurrentChannel("#games");
  EXPECT_EQ(channel_of_ack_from_alice(), "#games");
  trio.a.chat->LeaveCurrentChannel("#chat");
  EXPECT_EQ(trio.a.chat->Peer(kLocalPeer).channel.view(), "#games");
  trio.a.chat->LeaveCurrentChannel("#GAMES");
  trio.clock.Advance(5000);  // beyond the duplicate filter
  EXPECT_EQ(channel_of_ack_from_alice(), "");
}

}  // namespace
}  // namespace vorn
