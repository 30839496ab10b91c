#include "session/StreamPlayer.h"

#include <mutex>

#include "common/VideoModel.h"
#include "media/VideoDecoderSet.h"
#include "platform/Dialogs.h"
#include "platform/Environment.h"
#include "platform/Thread.h"
#include "protocol/http/IPCameraHttpCmdHandler.h"
#include "session/IPCameraSite.h"
#include "session/PlayerSlot.h"

namespace vexa {

namespace {
constexpr const char* kTooManyPlayers = "Too many Stream Players !!!";
constexpr const char* kCaptureError = "Capture Error";
// An MJPEG stream tells neither its rate nor its size before its pictures.
constexpr int32_t kMjpegRecordFps = 30;
constexpr int32_t kSizeUnknown = -1;
}  // namespace

StreamPlayer::StreamPlayer(platform::Dialogs& dialogs, const StreamRecorderFactory& makeRecorder)
    : dialogs_(dialogs),
      decoders_(std::make_unique<VideoDecoderSet>(dialogs)),
      httpCommand_(std::make_unique<IPCamera_Http_Cmd_Handler>()),
      markerFolder_(platform::tempFolder()) {
  if (makeRecorder) {
    recorder_ = makeRecorder([this](const std::string& text) { noteRecordingFailure(text); });
  }
}

StreamPlayer::~StreamPlayer() { Release(); }

bool StreamPlayer::Start() {
  joinStartThread();
  startThread_ = std::thread([this] { runStartThread(); });
  return true;
}

void StreamPlayer::runStartThread() {
  if (site() != nullptr) return;
  claimSlot();
  IPCameraSite* created = nullptr;
  {
    std::lock_guard outer(lock_);
    config_.extraHeaderLine.clear();
    std::lock_guard inner(lock_);
    created = new IPCameraSite(config_, slot(), recorder_.get(), audioOutput_, audioInput_);
    created->setH264Decoder(decoders_->h264());
    created->setDialogs(&dialogs_);
    site_.store(created, std::memory_order_release);
  }
  applyMute(*created);
  created->Play();
}

void StreamPlayer::claimSlot() {
  const uint32_t claimed = PlayerSlot::claim(markerFolder_);
  ownsMarker_ = claimed != 0;
  if (!ownsMarker_) dialogs_.showMessage(kTooManyPlayers, kTooManyPlayers);
  slot_ = ownsMarker_ ? claimed : PlayerSlot::kSlotCount;
}

void StreamPlayer::applyMute(IPCameraSite& site) { site.SetAudio(muted() ? "OFF" : "ON"); }

void StreamPlayer::joinStartThread() {
  if (startThread_.joinable()) startThread_.join();
}

void StreamPlayer::Stop() {
  // A site still being built is stopped once it exists.
  joinStartThread();
  if (IPCameraSite* current = site()) current->Stop();
  // The intake has stopped: the file is finished here.
  if (IsRecording()) recorder_->Close();  // IsRecording: a recorder exists
}

void StreamPlayer::Release() {
  Stop();
  delete site_.exchange(nullptr, std::memory_order_acq_rel);
  // Only the marker this player created is deleted: with every number taken it runs on the
  // last slot without owning that slot's file.
  if (ownsMarker_) PlayerSlot::release(markerFolder_, slot());
  ownsMarker_ = false;
  // A start still pending is withdrawn too.
  if (recorder_) recorder_->Close();
}

bool StreamPlayer::StartRecord(const std::string& path) {
  const uint32_t model = config_.model;
  if (!recorder_ || site() == nullptr || model >= kVideoModelCount) return false;
  if (model == IPCAMERA_VIDEO_MODEL_HTTP_MJPEG) {
    return recorder_->RequestStart(path, kAviKindJpeg, kMjpegRecordFps, kSizeUnknown,
                                   kSizeUnknown);
  }
  const auto fps = int32_t(config_.frameRate);
  const auto width = int32_t(config_.width);
  const auto height = int32_t(config_.height);
  if (isJpegModel(model)) return recorder_->RequestStart(path, kAviKindJpeg, fps, width, height);
  if (isH264Model(model)) return recorder_->RequestStart(path, kAviKindH264, fps, width, height);
  return false;
}

void StreamPlayer::StopRecord() {
  if (recorder_) recorder_->RequestStop();
}

bool StreamPlayer::IsRecording() const { return recorder_ && recorder_->IsRecording(); }

void StreamPlayer::noteRecordingFailure(const std::string& text) {
  recordingFailed_.store(true, std::memory_order_relaxed);
  std::lock_guard lock(failureLock_);
  failureToShow_ = text;
}

bool StreamPlayer::showRecordingFailure() {
  std::optional<std::string> text;
  {
    std::lock_guard lock(failureLock_);
    text.swap(failureToShow_);
  }
  if (text) dialogs_.showMessage(*text, kCaptureError);
  return text.has_value();
}

void StreamPlayer::SetMute(bool muted) {
  muted_ = muted;
  if (IPCameraSite* current = site()) applyMute(*current);
}

bool StreamPlayer::SetTalk(bool on) {
  IPCameraSite* current = site();
  if (current == nullptr) return false;
  current->SetTalk(on);
  return true;
}

bool StreamPlayer::LockCurImage(bool tryOnly) {
  IPCameraSite* current = site();
  return current != nullptr && current->LockCurImage(tryOnly);
}

void StreamPlayer::UnlockCurImage() {
  if (IPCameraSite* current = site()) current->UnlockCurImage();
}

uint32_t StreamPlayer::GetFrameNumber() {
  IPCameraSite* current = site();
  return current != nullptr ? current->GetFrameNumber() : 0;
}

bool StreamPlayer::GetJpegFrame(const uint8_t** data, int32_t* length) {
  IPCameraSite* current = site();
  if (current != nullptr) return current->GetJpegFrame(data, length);
  *data = nullptr;
  *length = 0;
  return true;
}

int32_t StreamPlayer::GetMpeg4Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info) {
  IPCameraSite* current = site();
  return current != nullptr ? current->GetMpeg4Frame(image, size, info) : 1;
}

int32_t StreamPlayer::GetH264Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info) {
  IPCameraSite* current = site();
  return current != nullptr ? current->GetH264Frame(image, size, info) : -1;
}

int32_t StreamPlayer::LendH264Frame(PictureLease* lease, BITMAPINFOHEADER* info) {
  IPCameraSite* current = site();
  return current != nullptr ? current->LendH264Frame(lease, info) : -1;
}

bool StreamPlayer::IsH264Model() {
  IPCameraSite* current = site();
  return current != nullptr ? current->IsH264Model() : true;
}

bool StreamPlayer::IsMpeg4Model() {
  IPCameraSite* current = site();
  return current != nullptr ? current->IsMpeg4Model() : true;
}

}  // namespace vexa
