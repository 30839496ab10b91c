#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "common/CriticalSection.h"
#include "media/PictureExchange.h"
#include "media/PictureFormat.h"
#include "media/RecordingSink.h"
#include "platform/AudioInput.h"
#include "platform/AudioOutput.h"
#include "common/StreamConfig.h"

namespace vexa {

namespace platform {
class Dialogs;
}
class IPCamera_Http_Cmd_Handler;
class IPCameraSite;
class VideoDecoderSet;

// The control's owner of one stream: builds a site from its configuration on a start thread,
// plays and stops it, claims a slot of client ports and forwards the display's queries.
class StreamPlayer {
 public:
  // makeRecorder: the player's recorder; without one nothing is recorded.
  explicit StreamPlayer(platform::Dialogs& dialogs, const StreamRecorderFactory& makeRecorder = {});
  StreamPlayer(const StreamPlayer&) = delete;
  StreamPlayer& operator=(const StreamPlayer&) = delete;
  ~StreamPlayer();

  StreamConfig& config() { return config_; }
  const StreamConfig& config() const { return config_; }
  VideoDecoderSet& decoders() { return *decoders_; }
  // The camera's command channel: one HTTP request at a time, whether a stream plays or not.
  IPCamera_Http_Cmd_Handler& httpCommand() { return *httpCommand_; }

  // Starts the start thread; the site is built and played on it. Always true.
  bool Start();
  // Stops the site's workers; the site stays.
  void Stop();
  // Stops and deletes the site and frees the slot.
  void Release();

  // The sound device of the sites started from now on; none until set.
  void setAudioOutputFactory(platform::AudioOutputFactory factory) {
    audioOutput_ = std::move(factory);
  }
  // The microphone of the sites started from now on; none: talk finds no microphone.
  void setAudioInputFactory(platform::AudioInputFactory factory) {
    audioInput_ = std::move(factory);
  }
  void SetMute(bool muted);
  bool muted() const { return muted_.load(std::memory_order_relaxed); }
  // Switches the site's talk at once; false when no site exists yet (TalkSwitch waits for one).
  bool SetTalk(bool on);

  // Forwarders; the values in brackets are the answers while no site exists.
  bool LockCurImage(bool tryOnly);  // [false]
  void UnlockCurImage();
  uint32_t GetFrameNumber();  // [0]
  bool GetJpegFrame(const uint8_t** data, int32_t* length);                   // [true]
  int32_t GetMpeg4Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info);  // [1]
  int32_t GetH264Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info);   // [-1]
  int32_t LendH264Frame(PictureLease* lease, BITMAPINFOHEADER* info);          // [-1]
  bool IsH264Model();   // [true]
  bool IsMpeg4Model();  // [true]

  // Asks the recorder to record the stream into path (numbered files: cam.avi gives cam001.avi,
  // ...), the kind, frame rate and size chosen by the model. False when the model is not
  // recorded, no site exists, or the recorder refused (a recording runs).
  bool StartRecord(const std::string& path);
  void StopRecord();
  bool IsRecording() const;
  // Null when the player was made without a recorder.
  StreamRecorder* recorder() { return recorder_.get(); }
  bool hasSite() const { return site() != nullptr; }
  // User-interface thread: shows the failure of a recording once, as "Capture Error"; true when
  // one was shown.
  bool showRecordingFailure();
  // A recording of this player failed (the disk refused it, or its file could not be made).
  bool recordingFailed() const { return recordingFailed_.load(std::memory_order_relaxed); }

  // The site, for the statistics path; null while none exists.
  IPCameraSite* site() const { return site_.load(std::memory_order_acquire); }
  uint32_t slot() const { return slot_.load(std::memory_order_relaxed); }

  // Where the marker files go (the temporary folder unless told otherwise, for tests).
  void setMarkerFolder(std::string folder) { markerFolder_ = std::move(folder); }

 private:
  void runStartThread();
  void claimSlot();
  void applyMute(IPCameraSite& site);
  void joinStartThread();
  void noteRecordingFailure(const std::string& text);

  platform::Dialogs& dialogs_;
  CLFXCriticalSection lock_;
  StreamConfig config_;
  std::unique_ptr<VideoDecoderSet> decoders_;
  std::unique_ptr<IPCamera_Http_Cmd_Handler> httpCommand_;
  // Before the recorder, which may still report while it goes.
  std::mutex failureLock_;
  std::optional<std::string> failureToShow_;  // under failureLock_
  std::atomic<bool> recordingFailed_{false};
  std::unique_ptr<StreamRecorder> recorder_;
  std::atomic<IPCameraSite*> site_{nullptr};
  std::atomic<uint32_t> slot_{0};
  bool ownsMarker_ = false;
  std::atomic<bool> muted_{true};
  platform::AudioOutputFactory audioOutput_;
  platform::AudioInputFactory audioInput_;
  std::string markerFolder_;
  std::thread startThread_;
};

}  // namespace vexa
