#include "fuzz_support.h"

using namespace vorn;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fuzz::kMaxInput) return 0;
  const std::span<const uint8_t> input(data, size);
  auto reply = ParsePingReply(input);
  if (!reply) return 0;
  fuzz::Check(size >= kPingSize);
  fuzz::Check(reply->game_name.size() <= kPingReplyNameField);
  fuzz::CheckWithin(reply->game_name, input);
  fuzz::CheckStableRebuild(*reply, ParsePingReply, BuildPingReply);
  return 0;
}
