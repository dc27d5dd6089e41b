#include "fuzz_support.h"
#include "platform/text.h"

using namespace vorn;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fuzz::kMaxInput) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string shown = SanitizeText(input);
  fuzz::Check(shown.size() <= size);
  fuzz::Check(shown.find('\x1B') == std::string::npos);
  fuzz::Check(SanitizeText(shown) == shown);
  return 0;
}
