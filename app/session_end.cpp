#include "session_end.h"

#include <sys/signalfd.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <csignal>

namespace vorn {
namespace {

sigset_t SessionEndSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  return set;
}

}  // namespace

void BlockSessionEndSignals() {
  const sigset_t set = SessionEndSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

SessionEndNotifier::SessionEndNotifier(std::function<void()> on_end, QObject* parent)
    : QObject(parent), on_end_(std::move(on_end)) {
  const sigset_t set = SessionEndSignals();
  fd_ = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
  if (fd_ < 0) {
    // Without the descriptor the default action must stay: the program ends.
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    return;
  }
  notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] { ReadSignal(); });
}

SessionEndNotifier::~SessionEndNotifier() {
  delete notifier_;
  if (fd_ >= 0) ::close(fd_);
}

void SessionEndNotifier::ReadSignal() {
  signalfd_siginfo info{};
  while (::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) on_end_();
}

}  // namespace vorn
