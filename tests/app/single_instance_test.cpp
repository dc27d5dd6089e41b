#include "single_instance.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QLocalSocket>
#include <QProcess>
#include <QRegularExpression>
#include <QUdpSocket>

#include "app_harness.h"

namespace vorn {
namespace {

TEST(SingleInstance, ALaterStartAsksTheFirstToComeForward) {
  TempProfile store;
  SingleInstance first(store.profile.FileName());
  ASSERT_TRUE(first.Claim());
  int raised = 0;
  QObject::connect(&first, &SingleInstance::RaiseRequested, [&] { ++raised; });
  // The second start talks to the first one only, so it runs on its own
  // thread while this one serves the first instance's socket.
  bool second_claimed = true;
  std::thread later([&] {
    SingleInstance second(store.profile.FileName());
    second_claimed = second.Claim();
  });
  EXPECT_TRUE(ProcessUntil([&] { return raised > 0; }));
  later.join();
  EXPECT_FALSE(second_claimed);

  // Another profile is another program.
  TempProfile other;
  SingleInstance elsewhere(other.profile.FileName());
  EXPECT_TRUE(elsewhere.Claim());
  EXPECT_NE(elsewhere.serverName(), first.serverName());
}

// The program binds the port of its profile; a port that is free now keeps
// parallel runs apart.
uint16_t FreeUdpPort() {
  QUdpSocket probe;
  probe.bind(QHostAddress::LocalHost, 0);
  return probe.localPort();
}

// The program itself, as a user starts it: isolated HOME and profile, own
// address 127.0.0.1.
class ProgramRun : public ::testing::Test {
 protected:
  ProgramRun() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), store.dir.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), store.Path("config"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    store.profile.WriteString("Misc", "Port", std::to_string(FreeUdpPort()));
    for (QProcess* process : {&first, &second}) process->setProcessEnvironment(env);
  }
  ~ProgramRun() override {
    for (QProcess* process : {&first, &second}) {
      if (process->state() == QProcess::NotRunning) continue;
      process->terminate();
      process->waitForFinished(5000);
    }
  }
  QStringList Arguments(const QStringList& more = {}) {
    return QStringList{QStringLiteral("--config"), store.profile.FileName(), QStringLiteral("--my-ip"),
                       QStringLiteral("127.0.0.1")} +
           more;
  }

  TempProfile store;
  QProcess first;
  QProcess second;
};

TEST_F(ProgramRun, ShowsItsWindowAndLeavesThroughFileExit) {
  const QString shot = store.Path("shot.png");
  first.start(QStringLiteral(VORN95_PATH), Arguments({QStringLiteral("--screenshot"), shot}));
  ASSERT_TRUE(first.waitForFinished(30000));
  EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(first.exitCode(), 0) << first.readAllStandardError().toStdString();
  const QImage image(shot);
  EXPECT_GT(image.width(), 400);
}

// A stored value that would be read as another is refused as a flag is.
TEST_F(ProgramRun, AnInvalidProfileValueIsOneLineAndExitStatusTwo) {
  store.profile.WriteString("Misc", "Port", "70000");
  first.start(QStringLiteral(VORN95_PATH), Arguments());
  ASSERT_TRUE(first.waitForFinished(30000));
  EXPECT_EQ(first.exitCode(), 2);
  const QString error = QString::fromLocal8Bit(first.readAllStandardError());
  const QStringList own = error.split(QLatin1Char('\n')).filter(QRegularExpression(QStringLiteral("^vorn95: ")));
  ASSERT_EQ(own.size(), 1) << error.toStdString();
  EXPECT_TRUE(own[0].startsWith(QStringLiteral("vorn95: %1: [Misc] Port=70000: ").arg(store.profile.FileName())));
}

TEST_F(ProgramRun, SecondStartWithTheSameProfileEndsAtOnce) {
  first.start(QStringLiteral(VORN95_PATH), Arguments());
  ASSERT_TRUE(first.waitForStarted(10000));
  // The first program listens from its start.
  const QString name = InstanceName(store.profile.FileName());
  ASSERT_TRUE(ProcessUntil(
      [&] {
        QLocalSocket probe;
        probe.connectToServer(name);
        return probe.waitForConnected(100);
      },
      std::chrono::seconds(20)));
  second.start(QStringLiteral(VORN95_PATH), Arguments());
  ASSERT_TRUE(second.waitForFinished(10000));
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_EQ(first.state(), QProcess::Running);
}

}  // namespace
}  // namespace vorn
