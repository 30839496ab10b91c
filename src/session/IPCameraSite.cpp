#include "session/IPCameraSite.h"

#include "protocol/http/IPCameraHTTP.h"
#include "session/UdpStreamGroup.h"

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

IPCameraSite::IPCameraSite(const StreamConfig& config, uint32_t slot,
                           platform::AudioOutputFactory audioOutput)
    : config_(config), audioOutput_(std::move(audioOutput)) {
  const ClientPorts ports = clientPortsForSlot(slot);
  if (isUdpGroupModel(model())) {
    config_.videoRtpPort = ports.videoRtp;
    config_.videoRtcpPort = ports.videoRtcp;
    config_.audioRtpPort = ports.audioRtp;
    config_.audioRtcpPort = ports.audioRtcp;
    config_.fifthPort = ports.fifth;
    udp_ = std::make_unique<UdpStreamGroup>(config_, audioOutput_);
  } else if (model() == IPCAMERA_VIDEO_MODEL_HTTP_MJPEG) {
    http_ = std::make_unique<IPCameraHTTP>();
    config_.videoRtpPort = ports.videoRtp;
    config_.videoRtcpPort = ports.videoRtcp;
  } else {
    createInterleavedHandler();
  }
}

void IPCameraSite::createInterleavedHandler() {
  switch (model()) {
    case IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_JPEG:
      jpegOverRtsp_ = std::make_unique<IPCameraJPEG_RTP_over_RTSP>(audioOutput_);
      interleaved_ = &jpegOverRtsp_->session();
      interleavedVideo_ = &jpegOverRtsp_->video();
      return;
    case IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_MPEG4:
      mpeg4OverRtsp_ = std::make_unique<IPCameraMPEG4_RTP_over_RTSP>(audioOutput_);
      interleaved_ = &mpeg4OverRtsp_->session();
      interleavedVideo_ = &mpeg4OverRtsp_->video();
      return;
    case IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_H264:
    case IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_H264_2:
      h264OverRtsp_ = std::make_unique<IPCameraH264_RTP_over_RTSP>(audioOutput_);
      interleaved_ = &h264OverRtsp_->session();
      interleavedVideo_ = &h264OverRtsp_->video();
      return;
    default:
      return;
  }
}

IPCameraSite::~IPCameraSite() {
  if (http_) http_->Stop();
  Stop();
}

bool IPCameraSite::Play() {
  if (http_) {
    http_->setConfig(&config_);
    publishPictureSource(http_->frameLock(), http_->pictureCounter());
    return http_->Play();
  }
  if (interleaved_ != nullptr) return playInterleaved();
  if (udp_) return playUdp();
  return false;
}

bool IPCameraSite::playUdp() {
  IPCameraMediaManager& video = udp_->video();
  publishPictureSource(video.imageLock(), video.pictureCounter());
  return udp_->play(h264Decoder_);
}

bool IPCameraSite::playInterleaved() {
  interleaved_->setConfig(&config_);
  if (jpegOverRtsp_) {
    JpegPacketAssembler& pictures = jpegOverRtsp_->video();
    publishPictureSource(pictures.frameLock(), pictures.pictureCounter());
  } else if (h264OverRtsp_) {
    H264PacketAssembler& pictures = h264OverRtsp_->video();
    pictures.setDecoder(h264Decoder_);
    publishPictureSource(pictures.decodeThread().outputLock(),
                         pictures.decodeThread().pictureCounter());
  }
  return interleaved_->Play();
}

void IPCameraSite::publishPictureSource(CLFXCriticalSection& lock,
                                        const std::atomic<uint32_t>& counter) {
  imageLock_.store(&lock, std::memory_order_release);
  frameCountSlot_.store(&counter, std::memory_order_release);
}

void IPCameraSite::Stop() {
  if (udp_) udp_->stop();
  if (http_) http_->Stop();
  if (jpegOverRtsp_) jpegOverRtsp_->Stop();
  if (mpeg4OverRtsp_) mpeg4OverRtsp_->Stop();
  if (h264OverRtsp_) h264OverRtsp_->Stop();
}

bool IPCameraSite::SetAudio(std::string_view text) {
  audioOn_ = text.find("OFF") == std::string_view::npos;
  if (interleaved_ != nullptr) interleaved_->setAudioOn(audioOn_);
  if (udp_) udp_->audio().setAudioOn(audioOn_);
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

uint32_t IPCameraSite::GetVideoBitrate() {
  if (http_) return toKilobits(http_->GetVideoBytes());
  if (udp_) return toKilobits(udp_->video().takeReceivedBytes());
  return interleaved_ != nullptr ? toKilobits(interleaved_->takeVideoBytes()) : 0;
}

uint32_t IPCameraSite::GetAudioBitrate() {
  if (udp_) return toKilobits(udp_->audio().takeReceivedBytes());
  return interleaved_ != nullptr ? toKilobits(interleaved_->takeAudioBytes()) : 0;
}

int32_t IPCameraSite::GetVideoDrop() const {
  if (udp_) return udp_->video().lostPackets();
  return interleavedVideo_ != nullptr ? interleavedVideo_->lostPackets() : 0;
}

int32_t IPCameraSite::GetAudioDrop() const {
  if (udp_) return udp_->audio().lostPackets();
  return interleaved_ != nullptr ? interleaved_->audioLost() : 0;
}

bool IPCameraSite::GetJpegFrame(const uint8_t** data, int32_t* length) {
  if (http_) return http_->GetJpegFrame(data, length);
  if (udp_ && model() == IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_JPEG) {
    return udp_->video().GetJpegFrame(data, length);
  }
  if (jpegOverRtsp_) return jpegOverRtsp_->video().GetJpegFrame(data, length);
  return false;
}

int32_t IPCameraSite::GetMpeg4Frame(uint8_t*, int32_t*, BITMAPINFOHEADER*) { return 0; }

int32_t IPCameraSite::GetH264Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info) {
  if (udp_ && isH264Model(model())) return udp_->video().GetH264Frame(image, size, info);
  if (!h264OverRtsp_) return 0;
  return h264OverRtsp_->video().decodeThread().GetH264Frame(image, size, info);
}

int32_t IPCameraSite::LendH264Frame(PictureLease* lease, BITMAPINFOHEADER* info) {
  if (udp_ && isH264Model(model())) return udp_->video().LendH264Frame(lease, info);
  if (!h264OverRtsp_) return 0;
  return h264OverRtsp_->video().decodeThread().LendH264Frame(lease, info);
}

int32_t IPCameraSite::audioCodec() const {
  if (udp_) return udp_->dialogue().audioCodec();
  return interleaved_ != nullptr ? interleaved_->audioCodec() : config_.audioCodec;
}

bool IPCameraSite::IsH264Model() const { return isH264Model(model()); }

bool IPCameraSite::IsMpeg4Model() const { return isMpeg4Model(model()); }

}  // namespace vexa
