#pragma once
#include <string_view>

#include "platform/joining_workers.h"

namespace vorn {

// The four colours of the message window's text.
enum class MessageClass { Server, Private, Action, Chat };

// The message window. Append may be called from any thread, also the
// receive thread, so it must not wait for a slow output: the programs put
// their outputs behind a bounded queue (QueuedMessageWindow, or the desktop
// program's view registry). The text is dropped while there is no window.
// A worker thread that appends is joined only under a JoiningWorkers on
// this window.
class MessageWindow : public WorkerJoins {
 public:
  virtual ~MessageWindow() = default;
  virtual void Append(std::string_view text, MessageClass cls) = 0;
  // UI thread: the view that was activated last (the message window or a
  // chat window); the text is dropped when none has been. A surface without
  // views of its own has only the message window to show it in.
  virtual void AppendToActiveView(std::string_view text, MessageClass cls) { Append(text, cls); }
};

}  // namespace vorn
