#include "control/CaptureCommands.h"

#include "common/DebugTrace.h"
#include "display/CImgDlg.h"
#include "platform/Desktop.h"
#include "platform/Dialogs.h"
#include "record/AviRecorder.h"

namespace vexa {

StreamRecorderFactory aviRecorderFactory() {
  return [](StreamRecorder::FailureReport report) {
    return std::make_unique<AviRecorder>(std::move(report));
  };
}

bool CaptureCommands::checkFolder(const std::string& path, const char* missingText) {
  if (platform::isFolder(path)) return true;
  dialogs_.showMessage(missingText, kCaptureErrorCaption);
  return false;
}

int32_t CaptureCommands::JpegCapture(const std::string& path, const std::string& filename) {
  if (!player_.hasSite()) return 1;
  if (!checkFolder(path, kCapturePathMissing)) return -1;
  if (window_ == nullptr) return -1;
  // The window adds the separator. A request while one is pending is dropped, and the answer
  // is 0 all the same.
  window_->RequestCapture(path, filename);
  return 0;
}

int32_t CaptureCommands::Record(bool state, const std::string& path, const std::string& filename) {
  if (!player_.hasSite()) return -1;
  if (!state) {
    player_.StopRecord();
    return 0;
  }
  if (!checkFolder(path, kRecordPathMissing)) return -1;
  // The file name's extension is kept for every file of the recording.
  const std::string filePath = platform::withTrailingSlash(path) + filename;
  player_.StartRecord(filePath);
  DebugTrace("record: start '%s'", filePath.c_str());
  return 0;
}

std::string CaptureCommands::SelectFolder() {
  const std::string folder = chooseFolder_ ? chooseFolder_() : std::string();
  return folder.empty() ? folder : platform::withTrailingSlash(folder);
}

}  // namespace vexa
