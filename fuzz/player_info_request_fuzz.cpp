#include "fuzz_support.h"

using namespace vorn;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fuzz::kMaxInput) return 0;
  const std::span<const uint8_t> input(data, size);
  auto request = ParsePlayerInfoRequest(input);
  if (!request) return 0;
  fuzz::Check(size >= kPlayerInfoRequestSize);
  fuzz::Check(request->nickname.size() <= kNicknameField);
  fuzz::CheckWithin(request->nickname, input);
  fuzz::CheckStableRebuild(*request, ParsePlayerInfoRequest, BuildPlayerInfoRequest);
  return 0;
}
