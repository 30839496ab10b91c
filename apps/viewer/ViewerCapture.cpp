#include "viewer/ViewerCapture.h"

#include <ctime>
#include <filesystem>
#include <ostream>

#include "display/CImgDlg.h"
#include "platform/Desktop.h"
#include "platform/Dialogs.h"
#include "record/AviRecorder.h"

namespace vexa::viewer {

namespace {

namespace fs = std::filesystem;

// Local time as YYYYMMDD-HHMMSS, for names that sort by when they were made.
std::string timeStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[sizeof "YYYYMMDD-HHMMSS"];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

// The recorder numbers the files: vexa-...-001.avi.
std::string recordingName() { return "vexa-" + timeStamp() + "-.avi"; }
std::string snapshotName() { return "vexa-" + timeStamp() + ".jpg"; }

}  // namespace

ViewerCapture::ViewerCapture(StreamPlayer& player, CImgDlg& window, platform::Dialogs& dialogs,
                             std::ostream& out)
    : player_(player),
      target_(player),
      commands_(target_, &window, dialogs, [] { return platform::chooseFolder(); }),
      dialogs_(dialogs),
      out_(out),
      folder_(fs::current_path().string()) {}

bool ViewerCapture::recordFromStart(const std::string& target, StartRecording start) {
  const fs::path path(target);
  std::error_code error;
  const bool isFolder = target.ends_with('/') || fs::is_directory(path, error);
  const std::string folder =
      isFolder ? target : (path.has_parent_path() ? path.parent_path().string() : ".");
  if (!fs::is_directory(folder, error)) {
    dialogs_.showMessage(CaptureCommands::kRecordPathMissing,
                         CaptureCommands::kCaptureErrorCaption);
    return false;
  }
  pendingFolder_ = folder;
  pendingFileName_ = isFolder ? recordingName() : path.filename().string();
  folder_ = folder;
  startRecording_ = std::move(start);
  return true;
}

void ViewerCapture::poll() {
  if (!pendingFolder_.empty() && player_.hasSite()) {
    startRecording_(pendingFolder_, pendingFileName_);
    pendingFolder_.clear();
  }
  player_.showRecordingFailure();
}

void ViewerCapture::toggleRecording() {
  if (player_.IsRecording()) {
    commands_.Record(false, folder_, "");
    return;
  }
  commands_.Record(true, folder_, recordingName());
}

void ViewerCapture::takeSnapshot() {
  if (commands_.JpegCapture(folder_, snapshotName()) == 0) {
    out_ << "vexa-viewer: snapshot to " << folder_ << std::endl;
  }
}

void ViewerCapture::chooseFolder() {
  const std::string chosen = commands_.SelectFolder();
  if (!chosen.empty()) folder_ = chosen;
}

bool ViewerCapture::finish() {
  player_.showRecordingFailure();
  StreamRecorder* recorder = player_.recorder();
  const std::vector<std::string> files = recorder ? recorder->filesWritten() : std::vector<std::string>();
  if (!files.empty()) {
    out_ << "vexa-viewer: recorded";
    for (const std::string& file : files) out_ << ' ' << file;
    out_ << std::endl;
  }
  return !player_.recordingFailed();
}

}  // namespace vexa::viewer
