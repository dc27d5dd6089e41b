#pragma once
// The thread that alone reads one socket: it waits in select for a datagram
// or the wake signal, reads what waits, and ends when it is stopped. A wait
// that fails would only fail again, at full speed, so it ends the thread
// too, after telling its owner. Stopping raises the wake signal and joins
// under a JoiningWorkers, so a reader that appends text is never waited for
// while it waits for the UI.
#include <functional>
#include <stop_token>
#include <thread>

#include "platform/joining_workers.h"
#include "platform/udp_socket.h"

namespace vorn {

class SocketReader {
 public:
  // The wait is only a safety net: Stop raises the wake signal.
  static constexpr int kWaitMs = 10'000;

  SocketReader() = default;
  SocketReader(const SocketReader&) = delete;
  SocketReader& operator=(const SocketReader&) = delete;

  // Starts the thread; the socket must stay open until Stop has returned.
  // read_waiting reads a bounded burst; on_failed runs once, on the reader,
  // when a wait fails. Throws std::system_error when no thread can start.
  void Start(const UdpSocket& socket, std::function<void()> read_waiting, std::function<void()> on_failed);
  // Ends and joins the thread; nothing when none runs.
  void Stop(WorkerJoins& port);
  bool Started() const { return thread_.joinable(); }

 private:
  void Run(std::stop_token stop, const UdpSocket& socket) const;

  WakeSignal wake_;
  std::function<void()> read_waiting_;
  std::function<void()> on_failed_;
  std::jthread thread_;  // last: it ends before the rest goes
};

}  // namespace vorn
