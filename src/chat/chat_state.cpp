#include "chat/chat_state.h"

#include <algorithm>

namespace vorn {

void ChatData::RememberCorrespondent(std::string_view nickname) {
  auto known = std::find(correspondents.begin(), correspondents.end(), nickname);
  if (known != correspondents.end()) return;
  if (correspondents.size() >= kMaxCorrespondents) correspondents.erase(correspondents.begin());
  correspondents.emplace_back(nickname);
}

}  // namespace vorn
