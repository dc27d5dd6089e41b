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

TEST_F(QtProfileTest, KeepsValueTypesAcrossReopening) {
  {
    QtProfile profile(Path());
    EXPECT_TRUE(profile.WriteString("Misc", "Port", "3000"));
    EXPECT_TRUE(profile.WriteInt("Colors", "Server", 0xC0));
    EXPECT_TRUE(profile.WriteString("Windows", "Vorn", "10,20,300,400,3"));
  }
  QtProfile profile(Path());
  EXPECT_EQ(profile.GetString("Misc", "Port", ""), "3000");
  EXPECT_EQ(profile.GetInt("Colors", "Server", 0), 0xC0);
  EXPECT_EQ(profile.GetString("Windows", "Vorn", ""), "10,20,300,400,3");
  // A value of the other type reads as absent.
  EXPECT_EQ(profile.GetString("Colors", "Server", "none"), "none");
}

TEST_F(QtProfileTest, EnumeratesNamesWithReservedCharactersAndTypes) {
  QtProfile profile(Path());
  profile.WriteString("Servers", "A/B\\C 50%", "127.0.0.5");
  profile.WriteString("Servers", "Odd", "dword:00000001");  // a text that looks like a number
  profile.WriteInt("Chat Colors", "bob", -1);
  auto servers = profile.Enumerate("Servers");
  ASSERT_TRUE(servers.has_value());
  ASSERT_EQ(servers->size(), 2u);
  EXPECT_EQ((*servers)[0].name, "A/B\\C 50%");
  EXPECT_EQ((*servers)[0].text, "127.0.0.5");
  EXPECT_EQ((*servers)[1].type, ProfileValueType::String);
  EXPECT_EQ((*servers)[1].text, "dword:00000001");
  auto colors = profile.Enumerate("Chat Colors");
  ASSERT_EQ(colors->size(), 1u);
  EXPECT_EQ(colors->front().type, ProfileValueType::Integer);
  EXPECT_EQ(colors->front().number, 0xFFFFFFFFu);
}

TEST_F(QtProfileTest, DeletesValuesAndSections) {
  QtProfile profile(Path());
  profile.WriteString("Servers", "One", "127.0.0.2");
  profile.WriteString("Servers", "Two", "127.0.0.3");
  EXPECT_TRUE(profile.DeleteValue("Servers", "One"));
  EXPECT_FALSE(profile.DeleteValue("Servers", "One"));
  EXPECT_EQ(profile.Enumerate("Servers")->size(), 1u);
  EXPECT_TRUE(profile.DeleteSection("Servers"));
  EXPECT_TRUE(profile.Enumerate("Servers")->empty());
}

TEST_F(QtProfileTest, ReadsHandEditedValues) {
  {
    QFile file(Path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Misc]\nFastJoin=0\nmy_ip=127.0.0.1\n[Windows]\nVorn=1,2,3,4,1\n");
  }
  QtProfile profile(Path());
  EXPECT_EQ(profile.GetInt("Misc", "FastJoin", 1), 0);
  EXPECT_EQ(profile.GetString("Misc", "my_ip", ""), "127.0.0.1");
  EXPECT_EQ(profile.GetString("Windows", "Vorn", ""), "1,2,3,4,1");  // unquoted commas
}

}  // namespace
}  // namespace vorn
