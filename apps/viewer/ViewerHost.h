#pragma once

#include <atomic>
#include <iosfwd>
#include <string>

#include "viewer/ViewerOptions.h"

namespace vexa {
class CImgDlg;
class StreamPlayer;
}

namespace vexa::platform {
class Dialogs;
}

namespace vexa::viewer {

class Presenter;

// Hosts one video window on the camera the options name: starts the stream, runs the window's
// timers until the run ends, then saves the snapshot asked for.
class ViewerHost {
 public:
  static constexpr int kWindowWidth = 1280;
  static constexpr int kWindowHeight = 720;

  ViewerHost(const ViewerOptions& options, platform::Dialogs& dialogs, std::ostream& out,
             std::ostream& err)
      : options_(options), dialogs_(dialogs), out_(out), err_(err) {}

  // Runs until quit is set, the duration passed or the presenter's window closed. The exit status.
  int run(Presenter* presenter, const std::atomic<bool>& quit);

 private:
  // The --motion-snapshot file; false, said on err, when it was not written.
  bool saveMotionGraph(const CImgDlg& window);
  // Ends talk and tells "talk sent N packets (CODEC) to HOST:PORT", when it had somewhere to send.
  void reportTalk(StreamPlayer& player);

  const ViewerOptions& options_;
  platform::Dialogs& dialogs_;
  std::ostream& out_;
  std::ostream& err_;
};

}  // namespace vexa::viewer
