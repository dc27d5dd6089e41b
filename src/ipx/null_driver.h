#pragma once
// The driver of a node that has no game attached (a dedicated host, tests of
// other subsystems): it is never opened, so the link stays closed, frames
// for games are dropped and no game runs.
#include "platform/driver.h"

namespace vorn {

class NullDriver final : public Driver {
 public:
  bool Open(uint32_t& error_code) override {
    error_code = 2;  // "file not found": there is no device
    return false;
  }
  bool Register(const LinkInfo&, std::span<uint8_t>&) override { return false; }
  void Deliver(PeerAddress, std::span<const uint8_t>, bool) override {}
  GameQuery QueryGame() override { return {}; }
  bool WaitForEvent(int32_t) override { return false; }
  void Wake() override {}
  void Close() override {}
};

}  // namespace vorn
