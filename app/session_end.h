#pragma once
// The end of a desktop session: a logout sends SIGTERM (and a terminal
// SIGINT). The signals are taken as readable data on a descriptor, so the
// program ends through the main window's normal close path on the UI
// thread: it says bye to the server and saves its windows and settings.
#include <QObject>
#include <functional>

class QSocketNotifier;

namespace vorn {

// Blocks SIGTERM and SIGINT. Call first in main, before any thread starts,
// so that every thread inherits the mask and none dies of them.
void BlockSessionEndSignals();

class SessionEndNotifier final : public QObject {
 public:
  // on_end runs on the UI thread for each signal that arrives.
  explicit SessionEndNotifier(std::function<void()> on_end, QObject* parent = nullptr);
  ~SessionEndNotifier() override;
  SessionEndNotifier(const SessionEndNotifier&) = delete;
  SessionEndNotifier& operator=(const SessionEndNotifier&) = delete;

 private:
  void ReadSignal();

  std::function<void()> on_end_;
  int fd_ = -1;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace vorn
