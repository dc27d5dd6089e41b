#include "integration/child_process.h"

#include "platform/udp_socket.h"

namespace vorn {

uint16_t FreeUdpPort() {
  UdpSocket probe;
  if (!probe.Open() || !probe.Bind(0x7F000001, 0)) return 0;
  return probe.LocalPort();
}

}  // namespace vorn
