#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "media/RecordingSink.h"

namespace vexa {

class CImgDlg;
namespace platform {
class Dialogs;
}

// What the recording commands need of the stream player.
class RecordTarget {
 public:
  virtual ~RecordTarget() = default;
  virtual bool hasSite() const = 0;
  // False when refused (a protocol that cannot be recorded, a recording already running).
  virtual bool StartRecord(const std::string& path) = 0;
  virtual void StopRecord() = 0;
};

// The recorder a stream player of the control records with: AVI files.
StreamRecorderFactory aviRecorderFactory();

// Shows a stream player (or anything with the same three members) to the commands.
template <typename Player>
class PlayerRecordTarget final : public RecordTarget {
 public:
  explicit PlayerRecordTarget(Player& player) : player_(player) {}
  bool hasSite() const override { return player_.hasSite(); }
  bool StartRecord(const std::string& path) override { return player_.StartRecord(path); }
  void StopRecord() override { player_.StopRecord(); }

 private:
  Player& player_;
};

// The snapshot, recording and folder-choosing members of the control. Only a bad folder is
// reported to the user; what fails later, while writing, is silent.
class CaptureCommands {
 public:
  // Answers the folder the user picked, "" on cancel.
  using FolderChooser = std::function<std::string()>;

  static constexpr const char* kCaptureErrorCaption = "Capture Error";
  static constexpr const char* kCapturePathMissing = "Capture path not exist!";
  static constexpr const char* kRecordPathMissing = "Record path not exist!";

  // window may be null: a host without a video window takes no snapshots. All references must
  // outlive the commands.
  CaptureCommands(RecordTarget& player, CImgDlg* window, platform::Dialogs& dialogs,
                  FolderChooser chooseFolder)
      : player_(player),
        window_(window),
        dialogs_(dialogs),
        chooseFolder_(std::move(chooseFolder)) {}

  void setWindow(CImgDlg* window) { window_ = window; }

  // 1 before a stream was started, -1 for a bad folder or no window, else 0 (the window saves
  // the picture in its next draw cycle, or ignores a second request while one is pending).
  int32_t JpegCapture(const std::string& path, const std::string& filename);
  // -1 before a stream was started or for a bad folder, else 0; a refused start is not reported.
  int32_t Record(bool state, const std::string& path, const std::string& filename);
  // The chosen folder ending in "/", or "" on cancel.
  std::string SelectFolder();

 private:
  bool checkFolder(const std::string& path, const char* missingText);

  RecordTarget& player_;
  CImgDlg* window_;
  platform::Dialogs& dialogs_;
  FolderChooser chooseFolder_;
};

}  // namespace vexa
