#include "qtprofile/qt_profile.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace vorn {
namespace {

class QtProfileTest : public ::testing::Test {
 protected:
  QString Path() const { return dir_.filePath("vorn95.conf"); }
  QTemporaryDir dir_;
};

// Names with reserved characters, and a text that looks like a number,
// come back as written, with their types.
TEST_F(QtProfileTest, KeepsNamesAndValueTypesAcrossReopeningAndDeletes) {
  {
    QtProfile profile(Path());
    EXPECT_TRUE(profile.WriteInt("Colors", "Server", 0xC0));
    EXPECT_TRUE(profile.WriteString("Servers", "A/B\\C 50%", "127.0.0.5"));
    EXPECT_TRUE(profile.WriteString("Servers", "Odd", "dword:00000001"));
    EXPECT_TRUE(profile.WriteInt("Chat Colors", "bob", -1));
  }
  QtProfile profile(Path());
  EXPECT_EQ(profile.GetString("Colors", "Server", "none"), "none");  // the other type reads as absent
  const auto servers = profile.Enumerate("Servers");
  ASSERT_EQ(servers.value_or(std::vector<ProfileValue>{}).size(), 2u);
  EXPECT_EQ((*servers)[0].name, "A/B\\C 50%");
  EXPECT_EQ((*servers)[0].text, "127.0.0.5");
  EXPECT_EQ((*servers)[1].type, ProfileValueType::String);
  EXPECT_EQ((*servers)[1].text, "dword:00000001");
  const auto colors = profile.Enumerate("Chat Colors");
  ASSERT_EQ(colors.value_or(std::vector<ProfileValue>{}).size(), 1u);
  EXPECT_EQ(colors->front().type, ProfileValueType::Integer);
  EXPECT_EQ(colors->front().number, 0xFFFFFFFFu);
  EXPECT_TRUE(profile.DeleteValue("Servers", "Odd"));
  EXPECT_FALSE(profile.DeleteValue("Servers", "Odd"));
  EXPECT_TRUE(profile.DeleteSection("Servers"));
  EXPECT_TRUE(profile.Enumerate("Servers")->empty());
}

TEST_F(QtProfileTest, ReadsHandEditedValues) {
  {
    QFile file(Path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Misc]\nFastJoin=0\n[Windows]\nVorn=1,2,3,4,1\n");
  }
  QtProfile profile(Path());
  EXPECT_EQ(profile.GetInt("Misc", "FastJoin", 1), 0);
  EXPECT_EQ(profile.GetString("Windows", "Vorn", ""), "1,2,3,4,1");  // unquoted commas
  EXPECT_EQ(profile.ReadProblem(), "");
  EXPECT_FALSE(QFile::exists(Path() + ".bak"));
}

// QSettings stops at a line starting with a quote (and says so), and a quote
// that never ends swallows the rest (without saying so); a binary file is
// mostly unreadable. None of them may lose what a write did not touch.
TEST_F(QtProfileTest, AFileReadOnlyInPartIsCopiedAndKeepsItsSectionsWhenWritten) {
  const QByteArray later = "[Servers]\nOne=127.0.0.2\n[Colors]\nServer=dword:000000c0\n";
  QByteArray binary(4096, '\0');
  for (int i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 7);
  const QByteArray files[] = {"[Misc]\nPort=2213\n\"odd line\n" + later, "[Misc]\nPort=\"2213\n" + later, binary};
  for (const QByteArray& original : files) {
    QFile::remove(Path() + ".bak");
    QFile file(Path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(original);
    file.close();
    {
      QtProfile profile(Path());
      EXPECT_NE(profile.ReadProblem().find("a copy of it is kept in " + Path().toStdString() + ".bak"),
                std::string::npos)
          << profile.ReadProblem();
      EXPECT_TRUE(profile.WriteString("Misc", "Port", "3000"));
      EXPECT_TRUE(profile.WriteString("Misc", "Tracker", "127.0.0.9"));
    }
    QFile copy(Path() + ".bak");
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), original);
    QtProfile reopened(Path());
    EXPECT_EQ(reopened.GetString("Misc", "Port", ""), "3000");
    if (original == binary) continue;
    EXPECT_EQ(reopened.ReadProblem(), "");
    EXPECT_EQ(reopened.GetString("Servers", "One", ""), "127.0.0.2");
    EXPECT_EQ(reopened.GetInt("Colors", "Server", 0), 0xC0);
  }
}

}  // namespace
}  // namespace vorn
