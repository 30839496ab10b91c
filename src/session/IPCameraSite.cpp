#include "session/IPCameraSite.h"

#include "common/DebugTrace.h"
#include "common/UrlParts.h"
#include "common/VideoModel.h"
#include "protocol/rtsp/RtspRequests.h"
#include "session/HttpRoad.h"
#include "session/InterleavedRoad.h"
#include "session/MulticastRoad.h"
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

// The interleaved model of the same codec and stream as a UDP one.
uint32_t interleavedTwin(uint32_t model) {
  switch (model) {
    case IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_JPEG:
      return IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_JPEG;
    case IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_MPEG4:
      return IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_MPEG4;
    case IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_H264:
      return IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_H264;
    default:
      return IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_H264_2;
  }
}
}  // namespace

ClientPorts clientPortsForSlot(uint32_t slot) {
  const auto base = uint16_t(kFirstClientPort + (slot - 1) * kSlotPortStride);
  return {uint16_t(base + kVideoRtpOffset), uint16_t(base + kVideoRtcpOffset),
          uint16_t(base + kAudioRtpOffset), uint16_t(base + kAudioRtcpOffset),
          uint16_t(base + kFifthPortOffset)};
}

IPCameraSite::IPCameraSite(const StreamConfig& config, uint32_t slot, RecordingSink* recorder,
                           platform::AudioOutputFactory audioOutput,
                           platform::AudioInputFactory audioInput, const platform::Clock& clock)
    : config_(config),
      audioOutput_(std::move(audioOutput)),
      clock_(clock),
      recorder_(recorder),
      recovery_(clock) {
  const ClientPorts ports = clientPortsForSlot(slot);
  if (isUdpGroupModel(model())) {
    config_.videoRtpPort = ports.videoRtp;
    config_.videoRtcpPort = ports.videoRtcp;
    config_.audioRtpPort = ports.audioRtp;
    config_.audioRtcpPort = ports.audioRtcp;
    config_.fifthPort = ports.fifth;
    talk_ = std::make_unique<IPCameraAudioWaveIn>(
        TalkSettings{config_.host, config_.fifthPort, config_.brand}, std::move(audioInput),
        nullptr, [this] { return talkTarget(); });
  } else if (model() == IPCAMERA_VIDEO_MODEL_HTTP_MJPEG) {
    config_.videoRtpPort = ports.videoRtp;
    config_.videoRtcpPort = ports.videoRtcp;
  }
}

IPCameraSite::~IPCameraSite() {
  Stop();
  talk_.reset();
}

void IPCameraSite::setDialogs(platform::Dialogs* dialogs) {
  dialogs_ = dialogs;
  if (talk_) talk_->setDialogs(dialogs);
}

std::unique_ptr<StreamRoad> IPCameraSite::makeRoad(uint32_t model) {
  switch (model) {
    case IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_JPEG:
    case IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_MPEG4:
    case IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_H264:
    case IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_H264_2: {
      auto group = std::make_unique<UdpStreamGroup>(config_, h264Decoder_, recorder_,
                                                    audioOutput_, dialogs_);
      udpGroup_.store(group.get(), std::memory_order_release);
      return group;
    }
    case IPCAMERA_VIDEO_MODEL_MULTICAST_JPEG:
    case IPCAMERA_VIDEO_MODEL_MULTICAST_MPEG4:
    case IPCAMERA_VIDEO_MODEL_MULTICAST_H264:
    case IPCAMERA_VIDEO_MODEL_MULTICAST_H264_2:
      return std::make_unique<MulticastRoad>(config_, h264Decoder_, recorder_, audioOutput_,
                                             dialogs_);
    case IPCAMERA_VIDEO_MODEL_HTTP_MJPEG:
      return std::make_unique<HttpRoad>(config_);
    case IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_JPEG:
      return std::make_unique<InterleavedRoad<IPCameraJPEG_RTP_over_RTSP>>(
          model, config_, h264Decoder_, recorder_, audioOutput_);
    case IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_MPEG4:
      return std::make_unique<InterleavedRoad<IPCameraMPEG4_RTP_over_RTSP>>(
          model, config_, h264Decoder_, recorder_, audioOutput_, dialogs_);
    case IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_H264:
    case IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_H264_2:
      return std::make_unique<InterleavedRoad<IPCameraH264_RTP_over_RTSP>>(
          model, config_, h264Decoder_, recorder_, audioOutput_);
    case IPCAMERA_VIDEO_MODEL_RTSP_OVER_HTTP_JPEG:
      return std::make_unique<InterleavedRoad<IPCameraJPEG_RTSP_over_HTTP>>(
          model, config_, h264Decoder_, recorder_, audioOutput_);
    case IPCAMERA_VIDEO_MODEL_RTSP_OVER_HTTP_MPEG4:
      return std::make_unique<InterleavedRoad<IPCameraMPEG4_RTSP_over_HTTP>>(
          model, config_, h264Decoder_, recorder_, audioOutput_, dialogs_);
    case IPCAMERA_VIDEO_MODEL_RTSP_OVER_HTTP_H264:
    case IPCAMERA_VIDEO_MODEL_RTSP_OVER_HTTP_H264_2:
      return std::make_unique<InterleavedRoad<IPCameraH264_RTSP_over_HTTP>>(
          model, config_, h264Decoder_, recorder_, audioOutput_);
    default:
      return nullptr;
  }
}

bool IPCameraSite::Play() {
  if (road() != nullptr) return false;
  std::unique_ptr<StreamRoad> primary = makeRoad(model());
  if (!primary) return false;
  primary->setAudioOn(audioOn());
  StreamRoad* first = primary.get();
  roads_.push_back(std::move(primary));
  active_.store(first, std::memory_order_release);
  const bool started = startAttempt(*first);
  supervisor_.start([this] { supervise(); });
  return started;
}

void IPCameraSite::Stop() {
  supervisor_.requestStop();
  supervisorWake_.set();
  supervisor_.join();
  supervisorWake_.reset();
  for (const auto& road : roads_) road->stop();
}

// ---- keeping the stream playing ----

void IPCameraSite::supervise() {
  while (supervisor_.running()) {
    superviseOnce();
    supervisorWake_.wait(int(kSupervisionPeriodMs));
  }
}

void IPCameraSite::superviseOnce() {
  StreamRoad* current = road();
  switch (recovery_.observe(current->observe())) {
    case StreamRecovery::Action::kNone:
      if (recovery_.mediaFlowing()) {
        std::lock_guard lock(failureLock_);
        failure_.reset();
      }
      return;
    case StreamRecovery::Action::kStop:
      recordFailure(*recovery_.failure());
      DebugTrace("site: %s; trying again in %u ms", failure()->text().c_str(),
                 recovery_.restartDelayMs());
      current->stop();
      return;
    case StreamRecovery::Action::kRestart:
      startAttempt(*current);
      return;
    case StreamRecovery::Action::kFallBack:
      fallBack();
      return;
  }
}

// The camera refused RTP over UDP, or nothing of it arrives: the interleaved road carries the
// same stream on the RTSP connection, through any firewall the connection passed.
void IPCameraSite::fallBack() {
  const uint32_t twin = interleavedTwin(road()->model());
  DebugTrace("site: %s; moving to RTP over the RTSP connection",
             recovery_.failure()->cause().c_str());
  road()->stop();
  std::unique_ptr<StreamRoad> interleaved = makeRoad(twin);
  interleaved->setAudioOn(audioOn());
  StreamRoad* next = interleaved.get();
  roads_.push_back(std::move(interleaved));
  active_.store(next, std::memory_order_release);
  startAttempt(*next);
}

bool IPCameraSite::startAttempt(StreamRoad& road) {
  // The count before the start: all that comes after is this attempt's.
  recovery_.attemptStarted(road.observe().mediaPackets);
  return road.play();
}

void IPCameraSite::recordFailure(const StreamFailure& failure) {
  std::lock_guard lock(failureLock_);
  failure_ = SiteFailure{streamAddress(), failure};
}

std::optional<SiteFailure> IPCameraSite::failure() const {
  std::lock_guard lock(failureLock_);
  return failure_;
}

std::string IPCameraSite::streamAddress() const {
  if (model() == IPCAMERA_VIDEO_MODEL_HTTP_MJPEG) {
    return "http://" + urlHost(config_.host) + ":" + std::to_string(config_.httpPort) + "/";
  }
  return rtsp::streamUrl(config_.host, config_.rtspPort, config_.path);
}

uint32_t IPCameraSite::activeModel() const {
  const StreamRoad* current = road();
  return current != nullptr ? current->model() : model();
}

// ---- what the control asks ----

bool IPCameraSite::SetAudio(std::string_view text) {
  audioOn_ = text.find("OFF") == std::string_view::npos;
  if (StreamRoad* current = road()) current->setAudioOn(audioOn_);
  return true;
}

void IPCameraSite::SetTalk(bool on) {
  if (!talk_ || talkOn_ == uint8_t(on)) return;
  talkOn_ = on ? 1 : 0;
  talk_->post(on ? IPCameraAudioWaveIn::kStartTalk : IPCameraAudioWaveIn::kStopTalk);
}

TalkTarget IPCameraSite::talkTarget() const {
  const UdpStreamGroup* group = udpGroup_.load(std::memory_order_acquire);
  if (group == nullptr) return {};
  return {.port = group->talkPort(), .codec = group->audioCodec().value_or(-1)};
}

bool IPCameraSite::LockCurImage(bool tryOnly) {
  StreamRoad* current = road();
  CLFXCriticalSection* lock = current != nullptr ? current->imageLock() : nullptr;
  if (lock == nullptr) return false;
  if (tryOnly) {
    if (!lock->TryLock()) return false;
  } else {
    lock->Lock();
  }
  lockedRoad_ = current;
  return true;
}

void IPCameraSite::UnlockCurImage() {
  if (lockedRoad_ == nullptr) return;
  lockedRoad_->imageLock()->Unlock();
  lockedRoad_ = nullptr;
}

uint32_t IPCameraSite::GetFrameNumber() const {
  const StreamRoad* current = road();
  const std::atomic<uint32_t>* counter = current != nullptr ? current->pictureCounter() : nullptr;
  return counter != nullptr ? counter->load(std::memory_order_relaxed) : 0;
}

uint32_t IPCameraSite::GetVideoBitrate() {
  StreamRoad* current = road();
  return current != nullptr ? toKilobits(current->takeVideoBytes()) : 0;
}

uint32_t IPCameraSite::GetAudioBitrate() {
  StreamRoad* current = road();
  return current != nullptr ? toKilobits(current->takeAudioBytes()) : 0;
}

int32_t IPCameraSite::GetVideoDrop() const {
  const StreamRoad* current = road();
  return current != nullptr ? current->videoDrop() : 0;
}

int32_t IPCameraSite::GetAudioDrop() const {
  const StreamRoad* current = road();
  return current != nullptr ? current->audioDrop() : 0;
}

bool IPCameraSite::GetJpegFrame(const uint8_t** data, int32_t* length) {
  StreamRoad* source = pictureRoad();
  return source != nullptr && source->GetJpegFrame(data, length);
}

int32_t IPCameraSite::GetMpeg4Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info) {
  StreamRoad* source = pictureRoad();
  return source != nullptr ? source->GetMpeg4Frame(image, size, info) : -1;
}

int32_t IPCameraSite::GetH264Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info) {
  StreamRoad* source = pictureRoad();
  return source != nullptr ? source->GetH264Frame(image, size, info) : 0;
}

int32_t IPCameraSite::LendH264Frame(PictureLease* lease, BITMAPINFOHEADER* info) {
  StreamRoad* source = pictureRoad();
  return source != nullptr ? source->LendH264Frame(lease, info) : 0;
}

std::optional<int32_t> IPCameraSite::audioCodec() const {
  const StreamRoad* current = road();
  return current != nullptr ? current->audioCodec() : std::nullopt;
}

bool IPCameraSite::IsH264Model() const { return isH264Model(model()); }

bool IPCameraSite::IsMpeg4Model() const { return isMpeg4Model(model()); }

}  // namespace vexa
