#include "platform/socket_reader.h"

#include <utility>

namespace vorn {

void SocketReader::Start(const UdpSocket& socket, std::function<void()> read_waiting, std::function<void()> on_failed) {
  read_waiting_ = std::move(read_waiting);
  on_failed_ = std::move(on_failed);
  thread_ = std::jthread([this, &socket](std::stop_token stop) { Run(stop, socket); });
}

void SocketReader::Stop(WorkerJoins& port) {
  if (!thread_.joinable()) return;
  JoiningWorkers joining(port);
  thread_.request_stop();
  wake_.Raise();
  thread_.join();
  wake_.Clear();
}

void SocketReader::Run(std::stop_token stop, const UdpSocket& socket) const {
  while (!stop.stop_requested()) {
    switch (WaitReadable(socket, wake_, kWaitMs)) {
      case WaitResult::Readable:
        read_waiting_();
        break;
      case WaitResult::Woken:
        wake_.Clear();  // a stop request is seen by the loop condition
        break;
      case WaitResult::TimedOut:
      case WaitResult::Interrupted:  // a stray signal must not leave the reader deaf
        break;
      case WaitResult::Failed:
        on_failed_();
        return;
    }
  }
}

}  // namespace vorn
