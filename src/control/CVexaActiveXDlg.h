#pragma once

#include "control/CaptureCommands.h"
#include "control/ControlHost.h"
#include "control/PlayerStreamView.h"
#include "control/TalkSwitch.h"
#include "display/CImgDlg.h"
#include "session/StreamPlayer.h"

namespace vexa {

// The control's host dialog: owns the stream player for the control's life, the video window
// on it (its drawing and tick timers on the host's loop), and the commands that act on both.
class CVexaActiveXDlg {
 public:
  CVexaActiveXDlg(ControlHost& host, int width, int height);
  CVexaActiveXDlg(const CVexaActiveXDlg&) = delete;
  CVexaActiveXDlg& operator=(const CVexaActiveXDlg&) = delete;
  // The window's timers stop before the windows go, then the stream.
  ~CVexaActiveXDlg();

  StreamPlayer& player() { return player_; }
  CImgDlg& window() { return window_; }
  CaptureCommands& capture() { return capture_; }
  TalkSwitch& talk() { return talk_; }

 private:
  StreamPlayer player_;
  PlayerStreamView view_;
  CImgDlg window_;
  PlayerRecordTarget<StreamPlayer> recordTarget_;
  CaptureCommands capture_;
  TalkSwitch talk_;
};

}  // namespace vexa
