#include "single_instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>

namespace vorn {
namespace {

constexpr int kConnectWaitMs = 1000;
constexpr int kLockWaitMs = 3000;

}  // namespace

QString InstanceName(const QString& profile_path) {
  const QFileInfo info(profile_path);
  const QString canonical = info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();
  const QByteArray hash = QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha1).toHex();
  return QStringLiteral("vorn95-") + QString::fromLatin1(hash.left(20));
}

SingleInstance::SingleInstance(const QString& profile_path) : name_(InstanceName(profile_path)) {
  connect(&server_, &QLocalServer::newConnection, this, [this] {
    // Any connection is a later instance asking for the front.
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
      socket->disconnectFromServer();
      socket->deleteLater();
    }
    emit RaiseRequested();
  });
}

bool SingleInstance::Claim() {
  // Two programs started at once must not both decide to be the first.
  QLockFile lock(QDir(QDir::tempPath()).filePath(name_ + QStringLiteral(".lock")));
  lock.tryLock(kLockWaitMs);
  if (AskRunningInstance()) return false;
  Listen();
  return true;
}

bool SingleInstance::AskRunningInstance() {
  QLocalSocket socket;
  socket.connectToServer(name_);
  if (!socket.waitForConnected(kConnectWaitMs)) return false;
  socket.write("raise\n");
  socket.waitForBytesWritten(kConnectWaitMs);
  socket.disconnectFromServer();
  return true;
}

void SingleInstance::Listen() {
  // A socket file left behind by a program that crashed.
  QLocalServer::removeServer(name_);
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  server_.listen(name_);
}

}  // namespace vorn
