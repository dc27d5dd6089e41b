#include "vorn95_app.h"

#include "download_folder.h"

namespace vorn {

Vorn95App::Vorn95App(Profile& profile, AppOptions options, Dialogs* dialogs, AppPrompts* prompts)
    : options_(std::move(options)),
      qt_dialogs_(ui_),
      dialogs_(dialogs != nullptr ? *dialogs : qt_dialogs_),
      prompts_(prompts != nullptr ? *prompts : qt_prompts_),
      user_info_(dialogs_),
      views_(ui_, clock_),
      chat_windows_(ui_, views_) {
  NodeOptions node_options = options_.node;
  node_options.chat_windows = &chat_windows_;
  node_options.chat.download_directory = [&profile] { return PrepareDownloadFolder(profile); };
  if (options_.dosbox_port) node_options.driver = &dosbox_.emplace(views_, *options_.dosbox_port);
  node_ = std::make_unique<Node>(NodePorts{clock_, ui_, views_, dialogs_, profile, user_info_}, node_options);
  user_info_.SetStore(&node_->settings());
  user_info_.SetAfterAdvancedOptions([node = node_.get()] { node->ApplyJoinFlags(); });
  // Colours are read at the moment of each append, from any thread.
  views_.SetColorSource([settings = &node_->settings()](MessageClass cls) { return settings->ColorOf(cls); });
  core_.emplace(*node_, dialogs_, prompts_);
  core_->SetDosbox(dosbox(), options_.dosbox_off_reason);
  frame_ = std::make_unique<CMainFrame>(FrameServices{*node_, views_, dialogs_, prompts_, *core_, ui_, profile},
                                        options_.command_line);
  chat_windows_.SetFrame(frame_.get());
  qt_dialogs_.SetParent(frame_.get());
  qt_prompts_.SetParent(frame_.get());
  user_info_.SetParent(frame_.get());
}

Vorn95App::~Vorn95App() { frame_.reset(); }

bool Vorn95App::Start() {
  if (!frame_->Create()) return false;
  frame_->ShowAndOpen();
  return true;
}

}  // namespace vorn
