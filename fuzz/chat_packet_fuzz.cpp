// Chat datagrams, one or several (each begins with "VORN"): the chat
// parsers (the capability announcement among them), then a chat in chat
// mode that receives them from a few senders while a download from one of
// them runs into a scratch directory.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

#include "chat/chat.h"
#include "fuzz_support.h"
#include "node/null_ports.h"
#include "platform/memory_profile.h"

using namespace vorn;

namespace {

class NullLoop final : public UiLoop {
 public:
  void Post(Task task) override { task(); }
  void RunSync(const Task& task) override { task(); }
  TimerId StartTimer(int32_t, Task) override { return 1; }
  void KillTimer(TimerId) override {}
  void RunModal(const std::function<bool()>&) override {}
};

// Every channel has a window; printed text is checked and dropped.
class NullWindows final : public SilentChatWindows {
 public:
  void PrintToChannel(std::string_view key, std::string_view text, uint32_t) override {
    fuzz::Check(key.size() <= kChatNameMax && text.size() < 4096);
  }
  void PrintToInputWindow(ChatInputId, std::string_view text, uint32_t) override { fuzz::Check(text.size() < 4096); }
};

struct Environment {
  Environment() {
    profile.WriteString("User Info", "NickName", "Fuzzer");
    profile.WriteString("User Info", "RealName", "Fuzz Er");
    profile.WriteString("User Info", "email", "fuzz@example.org");
    settings.LoadSettings();
    addresses.local.Store(kLocal);
    addresses.server.Store({0x7F000001, 2213});
  }
  static constexpr PeerAddress kLocal{0x7F000001, 5001};
  ManualClock clock;
  NullLoop loop;
  NullDialogs dialogs;
  NullUserInfo user_info;
  MemoryProfile profile;
  SettingsStore settings{profile, dialogs, user_info};
  SharedAddresses addresses;
  NullWindows windows;
};

void CheckParsers(std::span<const uint8_t> datagram) {
  auto view = ParseChatDatagram(datagram);
  if (!view) return;
  const ChatPacketView& packet = view->packet;
  fuzz::CheckWithin(packet.channel, datagram);
  fuzz::CheckWithin(packet.nickname, datagram);
  fuzz::CheckWithin(packet.payload, datagram);
  fuzz::CheckWithin(packet.reserved, datagram);
  if (auto flags = ReadCapabilityField(packet.reserved); flags && *flags != 0) {
    std::array<uint8_t, kCapabilityFieldSize> written{};
    WriteCapabilityField(written, *flags);
    fuzz::Check(std::equal(written.begin(), written.end(), packet.reserved.begin()));
  }
  fuzz::Check(packet.channel.size() <= kChatNameMax && packet.nickname.size() <= kChatNameMax);
  fuzz::Check(packet.payload.size() == datagram.size() - kChatHeaderSize);
  fuzz::CheckWithin(PayloadText(packet.payload), datagram);
  if (auto fragment = ParseFileFragment(packet.payload)) {
    fuzz::Check(fragment->count <= kMaxFragmentData && fragment->data.size() == fragment->count);
    fuzz::CheckWithin(fragment->data, datagram);
  }
  fuzz::Buffer rebuilt{};
  size_t size = BuildChatPacket(
      rebuilt, {view->type, view->sequence, packet.subtype, packet.channel, packet.nickname, packet.serial},
      packet.payload);
  fuzz::Check(size == (packet.payload.size() <= kMaxChatPayload ? datagram.size() : 0));
}

// Where the download goes; one per process, left for the system to clear.
const std::filesystem::path& ScratchDirectory() {
  static const std::filesystem::path directory = [] {
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("vorn_chat_fuzz_" + std::to_string(::getpid()));
    std::filesystem::create_directories(path);
    return path;
  }();
  return directory;
}

// A chat whose download from the sender on port 5002 runs into a scratch file.
std::unique_ptr<Chat> StartChat(Environment& env) {
  ChatOptions options;
  options.file_directory = ScratchDirectory();
  auto chat = std::make_unique<Chat>(
      ChatPorts{env.clock, env.loop, env.dialogs, env.settings, env.addresses, env.windows},
      [](PeerAddress, std::span<const uint8_t> bytes) { return static_cast<int>(bytes.size()); }, options);
  chat->JoinChannel("#chat");
  fuzz::Buffer hello{};
  size_t size = BuildChatPacket(hello, {'0', 1, ChatSubtype::Hello, "#chat", "Peer", 1}, {});
  chat->OnChatPacket({0x7F000001, 5002},
                     std::span<const uint8_t>(hello).subspan(kChatBodyOffset, size - kChatBodyOffset));
  chat->ExecuteChatLine("/xget Peer 0 fuzzed.bin", 1);
  return chat;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 16 * fuzz::kMaxInput) return 0;
  static Environment env;
  std::unique_ptr<Chat> chat = StartChat(env);
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  for (size_t begin = input.find("VORN"); begin != std::string_view::npos;) {
    size_t end = input.find("VORN", begin + 4);
    std::span<const uint8_t> datagram(data + begin, (end == std::string_view::npos ? size : end) - begin);
    CheckParsers(datagram);
    if (datagram.size() >= kChatBodyOffset && datagram.size() <= kMaxDatagram) {
      // The sequence number picks the sender: the local user or one of three others.
      auto sender = static_cast<uint16_t>(5001 + (datagram.size() > 5 ? datagram[5] & 3 : 0));
      chat->OnChatPacket({0x7F000001, sender}, datagram.subspan(kChatBodyOffset));
    }
    env.clock.Advance(700);
    chat->ChatTimerTick();
    begin = end;
  }
  return 0;
}
