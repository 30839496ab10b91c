#pragma once

#include <functional>
#include <iosfwd>
#include <string>

#include "control/CaptureCommands.h"
#include "session/StreamPlayer.h"

namespace vexa {
class CImgDlg;
namespace platform {
class Dialogs;
}
}  // namespace vexa

namespace vexa::viewer {

// The viewer's recording and snapshots: --record, and the keys R (recording on and off), S
// (snapshot) and O (choose the folder both go to).
class ViewerCapture {
 public:
  ViewerCapture(StreamPlayer& player, CImgDlg& window, platform::Dialogs& dialogs,
                std::ostream& out);

  // How the --record recording is asked for: the control's Record member, as a script calls it.
  using StartRecording = std::function<void(const std::string& folder, const std::string& name)>;

  // Takes the --record target (a file, or a folder for a time-stamped name); false, with the
  // message shown, when its folder does not exist.
  bool recordFromStart(const std::string& target, StartRecording start);
  // Each turn of the host's loop: asks for the recording once the site exists, shows a failure.
  void poll();

  void toggleRecording();
  void takeSnapshot();
  void chooseFolder();

  // After the player was released: names the files written; false when a recording failed.
  bool finish();

 private:
  StreamPlayer& player_;
  PlayerRecordTarget<StreamPlayer> target_;
  CaptureCommands commands_;
  platform::Dialogs& dialogs_;
  std::ostream& out_;
  std::string folder_;              // where R and S write; the current folder until O chose
  std::string pendingFolder_;       // a recording to ask for once the site exists
  std::string pendingFileName_;
  StartRecording startRecording_;
};

}  // namespace vexa::viewer
