#include "session/IPCameraSite.h"

#include "protocol/http/IPCameraHTTP.h"

namespace vexa {

namespace {
constexpr uint16_t kSlotPortStride = 10;
constexpr uint16_t kVideoRtpOffset = 0;
constexpr uint16_t kVideoRtcpOffset = 1;
constexpr uint16_t kAudioRtpOffset = 5;
constexpr uint16_t kAudioRtcpOffset = 6;
constexpr uint16_t kFifthPortOffset = 8;
constexpr int kBitsPerKilobitShift = 10;

uint32_t toKilobits(uint32_t bytes) { return uint32_t((uint64_t(bytes) * 8) >> kBitsPerKilobitShift); }
}  // namespace

ClientPorts clientPortsForSlot(uint32_t slot) {
  const auto base = uint16_t(kFirstClientPort + (slot - 1) * kSlotPortStride);
  return {uint16_t(base + kVideoRtpOffset), uint16_t(base + kVideoRtcpOffset),
          uint16_t(base + kAudioRtpOffset), uint16_t(base + kAudioRtcpOffset),
          uint16_t(base + kFifthPortOffset)};
}

IPCameraSite::IPCameraSite(const StreamConfig& config, uint32_t slot) : config_(config) {
  const ClientPorts ports = clientPortsForSlot(slot);
  if (isUdpGroupModel(model())) {
    config_.videoRtpPort = ports.videoRtp;
    config_.videoRtcpPort = ports.videoRtcp;
    config_.audioRtpPort = ports.audioRtp;
    config_.audioRtcpPort = ports.audioRtcp;
    config_.fifthPort = ports.fifth;
  } else if (model() == IPCAMERA_VIDEO_MODEL_HTTP_MJPEG) {
    http_ = std::make_unique<IPCameraHTTP>();
    config_.videoRtpPort = ports.videoRtp;
    config_.videoRtcpPort = ports.videoRtcp;
  }
}

IPCameraSite::~IPCameraSite() {
  if (http_) http_->Stop();
}

bool IPCameraSite::Play() {
  if (http_) {
    http_->setConfig(&config_);
    imageLock_.store(&http_->frameLock(), std::memory_order_release);
    frameCountSlot_.store(&http_->pictureCounter(), std::memory_order_release);
    return http_->Play();
  }
  return false;
}

void IPCameraSite::Stop() {
  if (http_) http_->Stop();
}

bool IPCameraSite::SetAudio(std::string_view text) {
  audioOn_ = text.find("OFF") == std::string_view::npos;
  return true;
}

void IPCameraSite::SetTalk(bool on) {
  // Only the UDP models have a talk channel; it arrives with them.
  if (!isUdpGroupModel(model())) return;
  talkOn_ = on ? 1 : 0;
}

bool IPCameraSite::LockCurImage(bool tryOnly) {
  CLFXCriticalSection* lock = imageLock_.load(std::memory_order_acquire);
  if (lock == nullptr) return false;
  if (tryOnly) return lock->TryLock();
  lock->Lock();
  return true;
}

void IPCameraSite::UnlockCurImage() {
  if (CLFXCriticalSection* lock = imageLock_.load(std::memory_order_acquire)) lock->Unlock();
}

uint32_t IPCameraSite::GetFrameNumber() const {
  const auto* counter = frameCountSlot_.load(std::memory_order_acquire);
  return counter != nullptr ? counter->load(std::memory_order_relaxed) : 0;
}

uint32_t IPCameraSite::GetVideoBitrate() { return http_ ? toKilobits(http_->GetVideoBytes()) : 0; }

uint32_t IPCameraSite::GetAudioBitrate() { return 0; }

int32_t IPCameraSite::GetVideoDrop() const { return 0; }

int32_t IPCameraSite::GetAudioDrop() const { return 0; }

bool IPCameraSite::GetJpegFrame(const uint8_t** data, int32_t* length) {
  if (!isJpegModel(model()) || !http_) return false;
  return http_->GetJpegFrame(data, length);
}

int32_t IPCameraSite::GetMpeg4Frame(uint8_t*, int32_t*, BITMAPINFOHEADER*) { return 0; }

int32_t IPCameraSite::GetH264Frame(uint8_t*, int32_t*, BITMAPINFOHEADER*) { return 0; }

bool IPCameraSite::IsH264Model() const { return isH264Model(model()); }

bool IPCameraSite::IsMpeg4Model() const { return isMpeg4Model(model()); }

}  // namespace vexa
