#include "fuzz_support.h"

using namespace vorn;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fuzz::kMaxInput) return 0;
  const std::span<const uint8_t> input(data, size);
  auto hello = ParseHello(input);
  if (!hello) return 0;
  fuzz::Check(size >= kHelloSize);
  fuzz::Check(hello->nickname.size() <= kNicknameField && hello->version.size() <= kVersionField);
  for (std::string_view text : {hello->nickname, hello->version, hello->email, hello->real_name, hello->other}) {
    fuzz::CheckWithin(text, input.first(kHelloSize));
    fuzz::Check(text.find('\0') == std::string_view::npos);
  }
  for (std::string_view text : {hello->email, hello->real_name, hello->other}) {
    fuzz::Check(text.size() <= kHelloTextField);
  }
  fuzz::CheckStableRebuild(*hello, ParseHello, BuildHello);
  return 0;
}
