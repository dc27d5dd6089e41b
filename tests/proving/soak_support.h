#pragma once
// What the soak tests share: their length, the memory a process holds, the
// command line of a vornd, and a stand-in for DOSBox that plays a game over a node's DOSBox driver.
#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "integration/child_process.h"
#include "platform/peer_address.h"
#include "platform/udp_socket.h"
#include "support/fake_dosbox.h"
#include "support/temp_dir.h"

namespace vorn::soak {

inline constexpr uint32_t kLoopback = 0x7F000001;

// VORN_SOAK_SECONDS when it holds a positive whole number (at most a day),
// else the short form's length.
int SoakSeconds(int short_form_seconds);

// Resident memory of a process in KiB from /proc/PID/status; -1 when unknown.
int64_t ResidentKiB(pid_t pid);

// The soak tests' whole programs.
using Program = ChildProcess;

}  // namespace vorn::soak
