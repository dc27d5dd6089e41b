// The program itself, as a user starts it: one instance per profile, and
// two copies, each with its own profile and home, on one X display made by
// xvfb-run, chatting through a vornd server on loopback.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QStandardPaths>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app_harness.h"
#include "integration/child_process.h"
#include "qtprofile/qt_profile.h"
#include "single_instance.h"
#include "support/test_identity.h"

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
}

// The program as a user starts it, offscreen: isolated HOME and profile,
// own address 127.0.0.1, and a port that is free now, so that parallel
// runs keep apart.
class ProgramRun : public ::testing::Test {
 protected:
  ProgramRun() { store.profile.WriteString("Misc", "Port", std::to_string(FreeUdpPort())); }
  std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& more = {}) {
    std::vector<std::string> argv{VORN95_PATH, "--config", store.profile.FileName().toStdString(), "--my-ip",
                                  "127.0.0.1"};
    argv.insert(argv.end(), more.begin(), more.end());
    const std::string home = store.dir.path().toStdString();
    return std::make_unique<ChildProcess>(
        argv, ChildOptions{{"HOME=" + home, "XDG_CONFIG_HOME=" + home + "/config", "QT_QPA_PLATFORM=offscreen",
                            "ASAN_OPTIONS=detect_leaks=0"},
                           {}});
  }

  TempProfile store;
};

TEST_F(ProgramRun, ShowsItsWindowAndLeavesThroughFileExit) {
  const QString shot = store.Path("shot.png");
  auto program = Start({"--screenshot", shot.toStdString()});
  EXPECT_EQ(program->WaitForExit(std::chrono::seconds(30)), 0) << program->output();
  EXPECT_GT(QImage(shot).width(), 400);
}

// A stored value that would be read as another is refused as a flag is.
TEST_F(ProgramRun, AnInvalidProfileValueIsOneLineAndExitStatusTwo) {
  store.profile.WriteString("Misc", "Port", "70000");
  auto program = Start();
  EXPECT_EQ(program->WaitForExit(std::chrono::seconds(30)), 2);
  const QString output = QString::fromLocal8Bit(program->output());
  const QStringList own = output.split(QLatin1Char('\n')).filter(QRegularExpression(QStringLiteral("^vorn95: ")));
  ASSERT_EQ(own.size(), 1) << program->output();
  EXPECT_TRUE(own[0].startsWith(QStringLiteral("vorn95: %1: [Misc] Port=70000: ").arg(store.profile.FileName())));
}

TEST_F(ProgramRun, SecondStartWithTheSameProfileEndsAtOnce) {
  auto first = Start();
  ASSERT_TRUE(first->started());
  // The first program listens from its start.
  const QString name = InstanceName(store.profile.FileName());
  ASSERT_TRUE(ProcessUntil(
      [&] {
        QLocalSocket probe;
        probe.connectToServer(name);
        return probe.waitForConnected(100);
      },
      std::chrono::seconds(20)));
  auto second = Start();
  EXPECT_EQ(second->WaitForExit(std::chrono::seconds(10)), 0) << second->output();
  EXPECT_TRUE(first->Running());
}

// Alice's colour in Bob's nickname colours.
constexpr uint32_t kAliceColour = 0x0000C000;
// The script ends each program within a minute, whatever happens.
constexpr auto kRunLimit = std::chrono::seconds(75);

// The process below ancestor (children first, depth first) that runs exe.
pid_t FindDescendant(pid_t ancestor, const std::filesystem::path& exe, int depth = 4) {
  std::ifstream children("/proc/" + std::to_string(ancestor) + "/task/" + std::to_string(ancestor) + "/children");
  for (pid_t child = 0; children >> child;) {
    std::error_code error;
    if (std::filesystem::equivalent(std::filesystem::read_symlink("/proc/" + std::to_string(child) + "/exe", error),
                                    exe, error))
      return child;
    if (pid_t found = depth > 0 ? FindDescendant(child, exe, depth - 1) : 0; found > 0) return found;
  }
  return 0;
}

class TwoInstanceChat : public ::testing::Test {
 protected:
  void SetUp() override {
    xvfb_run_ = QStandardPaths::findExecutable(QStringLiteral("xvfb-run")).toStdString();
    if (xvfb_run_.empty()) GTEST_SKIP() << "xvfb-run is not installed";
    server_ = std::make_unique<ChildProcess>(VorndCommand(dir_, "Server", server_port_, {"--server"}));
    ASSERT_TRUE(server_->started());
  }

  // A user's home, profile and chat script.
  void Prepare(const std::string& user, uint32_t alice_colour, const std::vector<std::string>& steps) {
    std::filesystem::create_directories(dir_.path() / user / "config");
    QtProfile profile(QString::fromStdString(dir_.File(user + ".ini")));
    WriteTestIdentity(profile, user);
    profile.WriteString("Misc", "Port", std::to_string(FreeUdpPort()));
    if (alice_colour != 0) profile.WriteInt("Chat Colors", "Alice", static_cast<int32_t>(alice_colour));
    std::ofstream script(dir_.File(user + ".script"));
    for (const std::string& step : steps) script << step << '\n';
  }

  // Under a real X server Qt loads the desktop's system libraries, which
  // keep a few allocations to the end on purpose; a leak check of the
  // program must not count theirs.
  std::string SystemLeakSuppressions() const {
    std::ofstream(dir_.File("lsan.supp"))
        << "leak:libdbus-1.so\nleak:libfontconfig.so\nleak:libxcb\nleak:libX11.so\nleak:libglib-2.0.so\n";
    return "LSAN_OPTIONS=suppressions=" + dir_.File("lsan.supp") + ":print_suppressions=0";
  }

  // The program under its own X server, home, profile and DOSBox port: two
  // programs started at once would otherwise race for the default one.
  std::unique_ptr<ChildProcess> StartInstance(const std::string& user) {
    const std::string home = dir_.File(user);
    return std::make_unique<ChildProcess>(std::vector<std::string>{
        "/usr/bin/env", "-u", "QT_QPA_PLATFORM", SystemLeakSuppressions(), "HOME=" + home,
        "XDG_CONFIG_HOME=" + home + "/config", xvfb_run_, "-a", VORN95_PATH, "--config", dir_.File(user + ".ini"),
        "--my-ip", "127.0.0.1", "--chat-script", dir_.File(user + ".script"), "--dosbox-port",
        std::to_string(FreeUdpPort()), "127.0.0.1:" + std::to_string(server_port_)});
  }

  QStringList Dump(const std::string& user) const {
    QFile file(QString::fromStdString(dir_.File(user + ".dump")));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  }

  std::string xvfb_run_;
  TempDir dir_;
  const uint16_t server_port_ = FreeUdpPort();
  std::unique_ptr<ChildProcess> server_;
};

TEST_F(TwoInstanceChat, ALineTypedInOneShowsInTheOtherInTheSendersColour) {
  Prepare("Alice", 0,
          {"wait-connected", "join", "wait-users 2", "type hello from alice", "wait-text hello from bob",
           "dump " + dir_.File("Alice.dump"), "exit"});
  Prepare("Bob", kAliceColour,
          {"wait-connected", "join", "wait-text hello from alice", "type hello from bob", "wait-text hello from bob",
           "dump " + dir_.File("Bob.dump"), "exit"});
  auto alice = StartInstance("Alice");
  // Once Alice's X server is up, the next free display is another one.
  ASSERT_TRUE(alice->WaitForOutput("script: done wait-connected", std::chrono::seconds(30))) << alice->output();
  auto bob = StartInstance("Bob");

  EXPECT_EQ(bob->WaitForExit(kRunLimit), 0) << bob->output();
  EXPECT_EQ(alice->WaitForExit(kRunLimit), 0) << alice->output();
  // xvfb-run takes its X server down when it is told to end.
  bob->Stop(SIGTERM);
  alice->Stop(SIGTERM);

  // Bob sees Alice's line in the colour he gave her.
  const QString alice_colour = QStringLiteral("%1").arg(kAliceColour, 6, 16, QLatin1Char('0'));
  const QStringList bob_sees = Dump("Bob");
  const auto alice_line = std::find_if(bob_sees.begin(), bob_sees.end(), [](const QString& run) {
    return run.contains(QStringLiteral("hello from alice"));
  });
  ASSERT_NE(alice_line, bob_sees.end()) << bob_sees.join(QLatin1Char('\n')).toStdString();
  EXPECT_TRUE(alice_line->startsWith(alice_colour + QLatin1Char('\t'))) << alice_line->toStdString();
  // Alice has no colour for Bob: his line comes in her chat colour.
  const QStringList alice_sees = Dump("Alice").filter(QStringLiteral("hello from bob"));
  ASSERT_FALSE(alice_sees.isEmpty());
  EXPECT_FALSE(alice_sees.front().startsWith(alice_colour));
}

// A logout's SIGTERM ends the program as File > Exit would, without a
// question: it says bye to the server, saves its window and exits with 0.
TEST_F(TwoInstanceChat, SigtermSaysByeSavesTheWindowAndExitsWithZero) {
  Prepare("Carol", 0, {"wait-connected", "pause 60000", "exit"});
  auto carol = StartInstance("Carol");
  ASSERT_TRUE(carol->WaitForOutput("script: done wait-connected", std::chrono::seconds(30))) << carol->output();
  const pid_t program = FindDescendant(carol->pid(), VORN95_PATH);
  ASSERT_GT(program, 0);
  ASSERT_EQ(::kill(program, SIGTERM), 0);
  EXPECT_EQ(carol->WaitForExit(std::chrono::seconds(30)), 0) << carol->output();
  EXPECT_TRUE(server_->WaitForOutput("Bye!")) << server_->output();
  EXPECT_FALSE(QtProfile(QString::fromStdString(dir_.File("Carol.ini"))).GetString("Windows", "Vorn", "").empty());
}

}  // namespace
}  // namespace vorn
