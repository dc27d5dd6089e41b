#include "platform/clock.h"

#include <thread>

namespace vorn {

int32_t SteadyClock::NowMs() const {
  auto elapsed = std::chrono::steady_clock::now() - start_;
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
  return static_cast<int32_t>(static_cast<uint32_t>(ms));
}

int64_t SteadyClock::NowSeconds() const {
  auto now = std::chrono::system_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::seconds>(now).count();
}

void SteadyClock::SleepMs(int32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace vorn
