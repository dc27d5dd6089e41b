#include "net/dispatch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string_view>
#include <vector>

#include "net/messages.h"

namespace vorn {
namespace {

constexpr PeerAddress kSource{0x7F000001, 2213};

std::vector<uint8_t> Datagram(char type, size_t size) {
  std::vector<uint8_t> datagram(size, 'x');
  std::copy(kMagic.begin(), kMagic.end(), datagram.begin());
  datagram[kTypeOffset] = static_cast<uint8_t>(type);
  return datagram;
}

class RecordingSink : public ProbeSink {
 public:
  void OnProbe(std::span<const uint8_t> datagram, PeerAddress source, bool is_answer) override {
    calls.push_back({datagram.size(), source, is_answer});
  }
  struct Call {
    size_t size;
    PeerAddress source;
    bool is_answer;
  };
  std::vector<Call> calls;
};

class DispatchTest : public ::testing::Test {
 protected:
  DispatchTest() {
    for (int type = 0; type < 256; ++type) {
      dispatcher_.SetHandler(static_cast<char>(type), [this](std::span<const uint8_t> datagram, PeerAddress source) {
        received_.push_back(static_cast<char>(datagram[kTypeOffset]));
        EXPECT_EQ(source, kSource);
      });
    }
  }
  void Dispatch(const std::vector<uint8_t>& datagram) { dispatcher_.DispatchDatagram(datagram, kSource); }

  Dispatcher dispatcher_;
  std::vector<char> received_;
};

// The catalogue's minimum lengths are the layouts' (malformed_length_test
// sends every cut to a node); here the dispatcher's own part: a handler
// runs from the minimum on, never for an unknown, foreign or unhandled type.
TEST_F(DispatchTest, OnlyKnownTypesFromTheirMinimumLengthReachTheirHandler) {
  for (const auto& [type, name, minimum] : kMessageTypes) {
    for (size_t size = kFrameSize; size < minimum; ++size) Dispatch(Datagram(type, size));
    EXPECT_TRUE(received_.empty()) << "a short " << name << " reached its handler";
    Dispatch(Datagram(type, minimum));
    ASSERT_EQ(received_, std::vector<char>{type});
    received_.clear();
  }
  for (int type = 0; type < 256; ++type) {
    if (std::ranges::any_of(kMessageTypes, [&](const MessageType& known) { return known.type == type; })) continue;
    EXPECT_EQ(Dispatcher::MinimumLength(static_cast<char>(type)), 0u);
    Dispatch(Datagram(static_cast<char>(type), 300));
  }
  std::vector<uint8_t> foreign = Datagram(kTypeBye, 5);
  foreign[3] = 'M';
  Dispatch(foreign);
  Dispatch(std::vector<uint8_t>{'V', 'O', 'R', 'N'});
  Dispatcher().DispatchDatagram(Datagram(kTypeBye, 5), kSource);  // no handler at all: must simply do nothing
  dispatcher_.SetHandler(kTypeBye, nullptr);
  Dispatch(Datagram(kTypeBye, 5));
  EXPECT_TRUE(received_.empty());
}

TEST_F(DispatchTest, ProbesGoToTheSinkOnlyWhileOneIsSet) {
  std::vector<uint8_t> probe = Datagram(kTypeBroadcastFrame, kMinProbeSize);
  std::copy(kProbeMarker.begin(), kProbeMarker.end(), probe.begin() + kProbeOffset);
  std::vector<uint8_t> answer = Datagram(kTypeGameFrame, kMinProbeSize + 4);
  std::copy(kProbeAnswerMarker.begin(), kProbeAnswerMarker.end(), answer.begin() + kProbeOffset);

  RecordingSink sink;
  dispatcher_.SetProbeSink(&sink);
  Dispatch(probe);
  Dispatch(answer);
  EXPECT_TRUE(received_.empty());
  ASSERT_EQ(sink.calls.size(), 2u);
  EXPECT_FALSE(sink.calls[0].is_answer);
  EXPECT_TRUE(sink.calls[1].is_answer);
  EXPECT_EQ(sink.calls[1].size, kMinProbeSize + 4);
  EXPECT_EQ(sink.calls[1].source, kSource);

  // A datagram too short to carry the marker goes the ordinary way.
  Dispatch(Datagram(kTypeBroadcastFrame, kMinProbeSize - 1));
  EXPECT_EQ(received_, std::vector<char>{kTypeBroadcastFrame});

  dispatcher_.SetProbeSink(nullptr);
  Dispatch(probe);
  Dispatch(answer);
  EXPECT_EQ(sink.calls.size(), 2u);
  EXPECT_EQ(received_, (std::vector<char>{kTypeBroadcastFrame, kTypeBroadcastFrame, kTypeGameFrame}));
}

}  // namespace
}  // namespace vorn
