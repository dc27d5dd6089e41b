#include "fuzz_support.h"
#include "net/link_probe.h"

using namespace vorn;

// A capability field that announces nothing reads as 0 and is rebuilt as
// zeros, so the rebuild settles rather than repeating the input.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fuzz::kMaxInput) return 0;
  const std::span<const uint8_t> input(data, size);
  auto probe = ParseLinkProbe(input);
  if (!probe) return 0;
  fuzz::Check(size >= kLinkProbeSize);
  fuzz::CheckStableRebuild(*probe, ParseLinkProbe, BuildLinkProbe);
  return 0;
}
