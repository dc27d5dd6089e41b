#pragma once
// One running program per settings profile. The first instance listens on
// a local socket named after its profile file; a later one connects to it,
// which asks the first to come to the front, and then ends. Two profiles
// (two users, or two HOMEs) run side by side.
#include <QLocalServer>
#include <QObject>
#include <QString>

namespace vorn {

class SingleInstance final : public QObject {
  Q_OBJECT
 public:
  explicit SingleInstance(const QString& profile_path);

  // True when this process is the first for the profile and now listens;
  // false when another one runs and has been asked to come to the front.
  bool Claim();
  const QString& serverName() const { return name_; }

 signals:
  void RaiseRequested();

 private:
  bool AskRunningInstance();
  void Listen();

  QString name_;
  QLocalServer server_;
};

// The socket's name for a profile file: short, and the same for every
// spelling of the file's path.
QString InstanceName(const QString& profile_path);

}  // namespace vorn
