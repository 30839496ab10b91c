#include "control/CVexaActiveXDlg.h"

#include "control/PtzHttpChannel.h"
#include "platform/Desktop.h"

namespace vexa {

CVexaActiveXDlg::CVexaActiveXDlg(ControlHost& host, int width, int height)
    : player_(host.dialogs, aviRecorderFactory()),
      view_(player_, host.loop),
      window_(&view_, playerJpegDecode(player_), host.loop, width, height),
      recordTarget_(player_),
      capture_(recordTarget_, &window_, host.dialogs,
               host.chooseFolder ? host.chooseFolder : [] { return platform::chooseFolder(); }),
      talk_(host.loop, player_) {
  if (host.audioOutput) player_.setAudioOutputFactory(host.audioOutput);
  if (host.audioInput) player_.setAudioInputFactory(host.audioInput);
  window_.ptzSender().setChannel(makePtzHttpChannel());
  window_.create();
}

CVexaActiveXDlg::~CVexaActiveXDlg() {
  talk_.cancel();
  window_.destroy();
  player_.Release();
}

}  // namespace vexa
