#pragma once
// The chat list: which channels the known chat users are in, who is in the
// selected one, and buttons to ping a user, ask who a user is, read the
// lists again, join the selected channel and give a nickname a colour.
// At most one exists; it remembers its place under "Chat List".
#include <QSize>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "chat/chat_list_model.h"
#include "placed_sub_window.h"
#include "platform/profile.h"

class QListWidget;
class QPushButton;

namespace vorn {

struct ChatListServices {
  Profile& profile;
  // The known users; none while chat mode is off.
  std::function<std::vector<ChatListPeer>()> peers = [] { return std::vector<ChatListPeer>{}; };
  std::function<void(const std::string& nickname)> ping = [](const std::string&) {};
  std::function<void(const std::string& nickname)> who_is = [](const std::string&) {};
  std::function<void(const std::string& nickname)> colour = [](const std::string&) {};
  std::function<void(const std::string& channel)> join = [](const std::string&) {};
  // The window is closing; it is gone once control returns to the loop.
  std::function<void()> closed = [] {};
};

// Where the controls sit in a client area of the given size, for a font
// whose average character is char_width wide and char_height high. A
// button is as wide as its caption has characters, or as measure says its
// caption needs when that is more, so no caption is cut.
struct ChatListGeometry {
  QRect nicknames;
  QRect ping;
  QRect colour;
  QRect who_is;
  QRect channels;
  QRect join;
  QRect refresh;
};
ChatListGeometry LayOutChatList(QSize client, int char_width, int char_height,
                                const std::function<int(std::string_view caption)>& measure = {});

class ChatListWindow final : public PlacedSubWindow {
  Q_OBJECT
 public:
  // The controls' ids.
  static constexpr int kNicknameList = 1000;
  static constexpr int kChannelList = 1002;
  static constexpr int kPingButton = 1006;
  static constexpr int kWhoIsButton = 1005;
  static constexpr int kRefreshButton = 1001;
  static constexpr int kJoinButton = 1003;
  static constexpr int kColorButton = 87;
  static constexpr std::string_view kPlacementKey = "Chat List";
  // The smallest first size; wider when the font needs it for a row.
  static constexpr QSize kInitialSize{200, 350};

  explicit ChatListWindow(ChatListServices services, QWidget* parent = nullptr);

  // At the stored place, or at 0,0 in its initial size.
  void ShowAtStoredPlacement();
  // Reads the users again: the channels, then the selected channel's users.
  void Refresh();
  void RefreshNicknames();

  // The selected nickname line cut at its tab; nullopt when none.
  std::optional<std::string> SelectedNickname() const;
  std::optional<std::string> SelectedChannel() const;
  QListWidget* nicknameList() const { return nicknames_; }
  QListWidget* channelList() const { return channels_; }
  // Null for an id that is not a button's.
  QPushButton* button(int id) const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  // The controls follow the client area's size.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  QPushButton* AddButton(int id, const char* caption, void (ChatListWindow::*clicked)());
  void LayOut();
  void OnPing();
  void OnWhoIs();
  void OnColour();
  void OnJoin();

  ChatListServices services_;
  QWidget* pane_ = nullptr;
  QListWidget* nicknames_ = nullptr;
  QListWidget* channels_ = nullptr;
  std::array<std::pair<int, QPushButton*>, 5> buttons_{};
  size_t button_count_ = 0;
};

}  // namespace vorn
