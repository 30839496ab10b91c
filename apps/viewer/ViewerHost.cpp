#include "viewer/ViewerHost.h"

#include <filesystem>
#include <ostream>

#include "common/UrlParts.h"
#include "control/PlayerStreamView.h"
#include "control/CVexaActiveXCtrl.h"
#include "script/ScriptSession.h"
#include "display/CImgDlg.h"
#include "display/CMotionStateDlg.h"
#include "display/Canvas.h"
#include "media/VideoDecoderSet.h"
#include "platform/Clock.h"
#include "platform/Socket.h"
#include "platform/Desktop.h"
#include "viewer/CanvasImage.h"
#include "viewer/SdlAudioInput.h"
#include "viewer/SdlAudioOutput.h"
#include "viewer/ScriptInput.h"
#include "viewer/ViewerCalls.h"
#include "viewer/ViewerCapture.h"
#include "viewer/ViewerFisheye.h"
#include "viewer/ViewerOverlays.h"
#include "platform/Thread.h"
#include "platform/UiLoop.h"
#include "session/IPCameraSite.h"
#include "session/StreamPlayer.h"
#include "viewer/Presenter.h"

namespace vexa::viewer {

namespace {

namespace fs = std::filesystem;

constexpr int kStatsTimer = 100;
constexpr uint32_t kStatsPeriodMs = 1000;
constexpr int kFailureTimer = 101;
constexpr uint32_t kFailurePeriodMs = 250;
// A call the options made was refused (a record folder missing, a model with no stream).
constexpr int kRefusedCall = 2;

// The camera's pan/tilt/zoom as the options describe it; commands go to the stream's camera.
void setUpPtz(CImgDlg& window, const ViewerOptions& options) {
  PtzMouse& ptz = window.ptz();
  const int on = options.ptz ? 1 : 0;
  ptz.SetEnPt(on);
  ptz.SetEnCenter(on);
  ptz.SetEnZoom(on);
  PtzSender& sender = window.ptzSender();
  sender.setPort(options.httpPort);
}

// Folder (ending in "/") and file name of a snapshot path.
std::pair<std::string, std::string> splitSnapshotPath(const std::string& path) {
  const fs::path absolute = fs::absolute(path);
  return {absolute.parent_path().string() + "/", absolute.filename().string()};
}

}  // namespace

void ViewerHost::reportTalk(StreamPlayer& player) {
  IPCameraSite* site = player.site();
  IPCameraAudioWaveIn* talk = site != nullptr ? site->talk() : nullptr;
  if (talk == nullptr) return;
  talk->quit();  // its last packet counted
  const TalkFigures figures = talk->figures();
  if (figures.destination.empty()) return;
  out_ << "vexa-viewer: talk sent " << figures.packets << " packets ("
       << audio::talkCodecName(figures.codec) << ") to " << figures.destination << std::endl;
}

bool ViewerHost::saveMotionGraph(const CImgDlg& window) {
  const std::string& path = options_.motionSnapshotPath;
  const CMotionStateDlg* motion = window.motionStateWindow();
  if (motion == nullptr || !saveCanvasImage(motion->canvas(), path)) {
    err_ << "vexa-viewer: could not save the motion graph to " << path
         << " (unknown extension or no permission)" << std::endl;
    return false;
  }
  out_ << "vexa-viewer: motion graph saved to " << path << std::endl;
  return true;
}

int ViewerHost::run(Presenter* presenter, const std::atomic<bool>& quit) {
  const uint32_t started = platform::tickCount();
  platform::UiLoop loop;
  CVexaActiveXCtrl control(ControlHost{.dialogs = dialogs_,
                                       .loop = loop,
                                       .audioOutput = sdlAudioOutputFactory(),
                                       .audioInput = sdlAudioInputFactory()});
  control.createWindow(kWindowWidth, kWindowHeight);
  StreamPlayer& player = *control.player();
  CImgDlg& window = *control.videoWindow();
  ScriptSession session(control);

  // The model first: it resets the pan/tilt/zoom switches.
  window.SetModel(options_.model);
  setUpPtz(window, options_);
  window.SetSensor(options_.sensor);
  window.SetWebVersion(options_.webVersion);
  // Before the fisheye settings: the engine takes the sensor window and orientation when made.
  if (!options_.sensorMode.empty()) window.SetSensorMode(options_.sensorMode);
  if (!options_.rotation.empty()) window.SetRotation(options_.rotation);
  addOverlays(window, options_.overlays.items);
  window.setHidden(presenter == nullptr && !options_.paintOffscreen);
  ViewerFisheye fisheye(window, options_.fisheye, out_);
  fisheye.apply();
  ViewerCapture capture(player, window, dialogs_, out_);
  bool talkOn = options_.talk;
  const auto startRecording = [&](const std::string& folder, const std::string& name) {
    runOptionCalls(session, {recordCall(folder, name)}, options_.printCalls, out_, err_);
  };
  if (!options_.recordPath.empty() &&
      !capture.recordFromStart(options_.recordPath, startRecording)) {
    return kRefusedCall;
  }
  if (presenter != nullptr) {
    window.setFolderOpener([](const std::string& folder) { platform::openFolder(folder); });
    presenter->setKeyHandler([&](char key) {
      if (fisheye.key(key)) return;
      if (key == 'p') printOverlays(window, out_);
      if (key == 'r') capture.toggleRecording();
      if (key == 's') capture.takeSnapshot();
      if (key == 'o') capture.chooseFolder();
      if (key == 't') {
        talkOn = !talkOn;
        if (control.Mic(talkOn) != 0) err_ << "vexa-viewer: talk needs --protocol 0, 1, 10 or 15\n";
      }
      if (key == 'c') {
        window.OnCommand(window.ptz().centreMode() ? kCommandJoystickMode : kCommandCentreMode);
      }
    });
  }
  if (options_.motion) {
    // The camera's motion port is on the stream's host, whatever the stream's own address says.
    window.StartMotion(urlHost(splitUrl(options_.address).host), options_.motionPort);
    window.ShowMotionState();
  }
  if (options_.stats) {
    // The statistics window refreshes only while shown; headless it is shown on stdout.
    window.info().show();
    loop.setTimer(kStatsTimer, kStatsPeriodMs,
                  [&] { out_ << window.info().statsLine() << std::endl; });
  }

  // Each cause the stream fails for is told once, however often the retries meet it.
  std::string failureTold;
  loop.setTimer(kFailureTimer, kFailurePeriodMs, [&] {
    const IPCameraSite* site = player.site();
    const std::optional<SiteFailure> failure = site != nullptr ? site->failure() : std::nullopt;
    if (failure && failure->text() != failureTold) {
      failureTold = failure->text();
      err_ << "vexa-viewer: " << failureTold << std::endl;
    }
  });

  if (!runOptionCalls(session, startCalls(options_), options_.printCalls, out_, err_)) {
    return kRefusedCall;
  }
  std::unique_ptr<ScriptInput> script;
  if (!options_.scriptPath.empty()) {
    script = ScriptInput::open(options_.scriptPath, control, loop.clock(), out_);
    if (!script) {
      err_ << "vexa-viewer: cannot read the script " << options_.scriptPath << std::endl;
      return kRefusedCall;
    }
  }
  const auto durationOver = [&] {
    return options_.durationSeconds &&
           platform::tickCount() - started >= uint32_t(*options_.durationSeconds * 1000);
  };
  bool firstPictureReported = !options_.reportPictures;
  while (!quit.load() && !durationOver()) {
    const uint32_t wait = loop.runDue();
    capture.poll();
    fisheye.poll();
    if (script) {
      script->runner.poll();
      if (script->runner.finished()) break;
    }
    if (!firstPictureReported && window.pictureHeader().biWidth != 0) {
      out_ << "vexa-viewer: first picture after " << platform::tickCount() - started << " ms"
           << std::endl;
      firstPictureReported = true;
    }
    if (presenter == nullptr) {
      platform::sleepMs(wait);
      continue;
    }
    presenter->present(window);
    if (!presenter->handleEvents(window, wait)) break;
  }

  if (options_.printOverlays) printOverlays(window, out_);
  if (options_.reportPictures) {
    out_ << "vexa-viewer: " << window.picturesTaken() << " pictures taken, "
         << window.presentCanvas().stretchCount() << " painted in "
         << platform::tickCount() - started << " ms" << std::endl;
  }

  const bool pictureDrawn = window.pictureHeader().biWidth != 0;
  // A script's answers say how its calls went; without one, the picture is the run's result.
  int status = pictureDrawn || script ? 0 : 1;
  if (!pictureDrawn && !script && options_.snapshotPath.empty()) {
    err_ << "vexa-viewer: no picture was drawn" << std::endl;
  }
  if (!options_.snapshotPath.empty()) {
    // The snapshot asked for on the command line is no reason to open a file manager.
    window.setFolderOpener({});
    const auto [folder, fileName] = splitSnapshotPath(options_.snapshotPath);
    const fs::path destination = fs::path(folder) / fileName;
    std::error_code ignored;
    fs::remove(destination, ignored);
    if (window.pictureHeader().biWidth == 0) {
      err_ << "vexa-viewer: no picture was drawn; no snapshot saved" << std::endl;
      status = 1;
    } else if (!runOptionCalls(session, {snapshotCall(folder, fileName)}, options_.printCalls,
                               out_, err_)) {
      status = kRefusedCall;
    } else {
      window.drawCycle();  // serves the capture
      if (fs::exists(destination)) {
        out_ << "vexa-viewer: snapshot saved to " << destination.string() << std::endl;
      } else {
        err_ << "vexa-viewer: could not save the snapshot to " << destination.string()
             << " (unknown extension or no permission)" << std::endl;
        status = 1;
      }
    }
  }
  if (!options_.motionSnapshotPath.empty() && !saveMotionGraph(window)) status = 1;
  reportTalk(player);
  control.Stop();
  if (!capture.finish()) status = 1;
  return status;
}

}  // namespace vexa::viewer
