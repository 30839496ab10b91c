#include "protocol/rtp/IPCameraMediaManager.h"

#include "common/DebugTrace.h"
#include "media/rtp/H264Depacketizer.h"
#include "media/rtp/JpegDepacketizer.h"
#include "media/rtp/RtpPacket.h"
#include "common/VideoModel.h"

namespace vexa {

namespace {
}  // namespace

IPCameraMediaManager::Codec IPCameraMediaManager::codecOf(uint32_t model) {
  if (isH264Model(model)) return Codec::kH264;
  if (isMpeg4Model(model)) return Codec::kMpeg4;
  return Codec::kJpeg;
}

IPCameraMediaManager::IPCameraMediaManager(uint32_t model)
    : codec_(codecOf(model)),
      worker_([this](std::span<const uint8_t> datagram) { processDatagram(datagram); }) {
  switch (codec_) {
    case Codec::kJpeg:
      depacketizer_ = std::make_unique<rtp::JpegDepacketizer>(rtp::Road::Udp);
      break;
    case Codec::kH264:
      depacketizer_ = std::make_unique<rtp::H264Depacketizer>(rtp::Road::Udp);
      decodeThread_ = std::make_unique<IPCameraH264>();
      break;
    case Codec::kMpeg4:
      depacketizer_ = std::make_unique<rtp::Mpeg4Depacketizer>(rtp::Road::Udp);
      playThread_ = std::make_unique<Mpeg4PlayThread>();
      break;
  }
}

IPCameraMediaManager::~IPCameraMediaManager() {
  stop();
}

void IPCameraMediaManager::setDecoder(H264Decoder* decoder) {
  if (decodeThread_) decodeThread_->setDecoder(decoder);
}

void IPCameraMediaManager::setRecordingSink(RecordingSink* sink) {
  if (decodeThread_) decodeThread_->setRecordingSink(sink);
}

void IPCameraMediaManager::setDialogs(platform::Dialogs* dialogs) {
  if (playThread_) playThread_->setDialogs(dialogs);
}

void IPCameraMediaManager::configure(const StreamConfig& config) {
  std::lock_guard lock(configMutex_);
  pendingConfig_ = config;
  configPending_.store(true, std::memory_order_release);
}

int IPCameraMediaManager::start(const std::string& multicastGroup,
                                const std::string& interfaceAddress, uint16_t port) {
  return worker_.start({.port = port,
                        .multicastGroup = multicastGroup,
                        .interfaceAddress = interfaceAddress,
                        .receiveBufferSize = kSocketReceiveBufferBytes,
                        .raisePriority = true});
}

void IPCameraMediaManager::stop() {
  // The receive thread first: it is the one that starts and feeds the decode thread.
  worker_.stop();
  if (decodeThread_) decodeThread_->Stop();
  if (playThread_) playThread_->Stop();
  decodeThreadStarted_ = false;
}

void IPCameraMediaManager::processDatagram(std::span<const uint8_t> datagram) {
  receivedBytes_.fetch_add(uint32_t(datagram.size()), std::memory_order_relaxed);
  if (datagram.empty()) return;
  // A datagram too short for an RTP header is dropped like any other that is no RTP: one stray
  // runt must not end the stream.
  if (datagram.size() < rtp::kRtpHeaderSize) return drop("too short for RTP", datagram.size());
  applyPendingConfiguration();

  const auto packet = rtp::parseRtpPacket(datagram);
  if (!packet) return drop("not an RTP packet", datagram.size());
  if (!decodeThreadStarted_) decodeThreadStarted_ = startDecoding();
  // Checked before the SSRC is latched: a stray stream of another type never takes the place
  // of the camera's.
  if (!payloadTypeFits(packet->payloadType)) return drop("another payload type", datagram.size());

  const uint32_t flags = tracker_.trackUdp(*packet);
  if (flags & rtp::RtpSequenceTracker::kForeignSsrc) return;  // not counted as anything
  packets_.fetch_add(1, std::memory_order_relaxed);
  published_.publish(tracker_.figures());
  deliver(*packet, (flags & rtp::RtpSequenceTracker::kGap) != 0);
}

bool IPCameraMediaManager::payloadTypeFits(uint8_t payloadType) const {
  switch (codec_) {
    case Codec::kH264:
      return true;
    case Codec::kMpeg4:
      return payloadType == kMpeg4PayloadType;
    case Codec::kJpeg:
      return payloadType == rtp::kJpegPayloadType;
  }
  return false;
}

void IPCameraMediaManager::applyPendingConfiguration() {
  if (!configPending_.exchange(false, std::memory_order_acquire)) return;
  std::optional<StreamConfig> config;
  {
    std::lock_guard lock(configMutex_);
    config.swap(pendingConfig_);
  }
  if (!config) return;
  // A new description is a new session: another source and numbering.
  tracker_ = {};
  depacketizer_->reset();
  depacketizer_->configure(*config);
  if (playThread_) playThread_->configure(*config);
}

void IPCameraMediaManager::drop(const char* why, size_t size) {
  DebugTrace("media: %zu-byte datagram dropped: %s", size, why);
  dropped_.fetch_add(1, std::memory_order_relaxed);
}

bool IPCameraMediaManager::startDecoding() {
  if (decodeThread_) return decodeThread_->Start() != platform::kStartFailed;
  if (playThread_) return playThread_->Start() != platform::kStartFailed;
  return true;
}

void IPCameraMediaManager::deliver(const rtp::RtpPacket& packet, bool lossBefore) {
  if (depacketizer_->push(packet, lossBefore) != rtp::PushResult::kComplete) return;
  const std::span<const uint8_t> unit = depacketizer_->completedUnit();
  switch (codec_) {
    case Codec::kJpeg:
      publishJpeg(unit);
      break;
    case Codec::kH264:
      decodeThread_->handOff(unit);
      break;
    case Codec::kMpeg4:
      playThread_->handOff(unit);
      break;
  }
}

void IPCameraMediaManager::publishJpeg(std::span<const uint8_t> picture) {
  std::lock_guard lock(lock_);
  completedJpeg_.assign(picture.begin(), picture.end());
  haveJpeg_ = true;
  completedPictures_.fetch_add(1, std::memory_order_relaxed);
}

bool IPCameraMediaManager::GetJpegFrame(const uint8_t** data, int32_t* length) const {
  std::lock_guard lock(lock_);
  *data = haveJpeg_ ? completedJpeg_.data() : nullptr;
  *length = haveJpeg_ ? int32_t(completedJpeg_.size()) : -1;
  return true;
}

int32_t IPCameraMediaManager::GetH264Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info) {
  return decodeThread_ ? decodeThread_->GetH264Frame(image, size, info) : -1;
}

int32_t IPCameraMediaManager::LendH264Frame(PictureLease* lease, BITMAPINFOHEADER* info) {
  return decodeThread_ ? decodeThread_->LendH264Frame(lease, info) : -1;
}

int32_t IPCameraMediaManager::GetMpeg4Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info) {
  return playThread_ ? playThread_->GetMpeg4Frame(image, size, info) : -1;
}

CLFXCriticalSection& IPCameraMediaManager::imageLock() {
  if (decodeThread_) return decodeThread_->outputLock();
  if (playThread_) return playThread_->pictureLock();
  return lock_;
}

const std::atomic<uint32_t>& IPCameraMediaManager::pictureCounter() const {
  if (decodeThread_) return decodeThread_->pictureCounter();
  if (playThread_) return playThread_->pictureCounter();
  return completedPictures_;
}

}  // namespace vexa
