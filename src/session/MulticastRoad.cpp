#include "session/MulticastRoad.h"

#include "common/DebugTrace.h"
#include "common/VideoModel.h"
#include "media/RecordingSink.h"
#include "platform/Thread.h"

namespace vexa {

MulticastRoad::MulticastRoad(StreamConfig& config, H264Decoder* decoder, RecordingSink* recorder,
                             const platform::AudioOutputFactory& audioOutput,
                             platform::Dialogs* dialogs)
    : model_(config.model),
      config_(config),
      video_(config.model),
      audio_(audioOutput),
      recorder_(recorder),
      handler_([this](const StreamConfig& described, const MulticastJoin& join) {
        startMedia(described, join);
      }) {
  video_.setDecoder(decoder);
  video_.setRecordingSink(recorder);
  video_.setDialogs(dialogs);
}

MulticastRoad::~MulticastRoad() {
  handler_.Stop();
  video_.stop();
  audio_.stop();
}

bool MulticastRoad::play() {
  // The ports come from the descriptions of this attempt, not from the last one.
  config_.videoRtpPort = 0;
  config_.audioRtpPort = 0;
  hasAudio_ = false;
  handler_.setConfig(&config_);
  return handler_.Play();
}

void MulticastRoad::stop() {
  video_.stop();
  audio_.stop();
  handler_.Stop();
}

void MulticastRoad::startMedia(const StreamConfig& described, const MulticastJoin& join) {
  video_.configure(described);
  if (recorder_ != nullptr) recorder_->describeStream(recordedFactsOf(described));
  if (described.videoRtpPort != 0 &&
      video_.start(join.group, join.interfaceAddress, described.videoRtpPort) != platform::kStarted) {
    DebugTrace("multicast: the video port %u did not start\n", described.videoRtpPort);
  }
  if (described.audioRtpPort == 0) return;
  audio_.setConfiguredCodec(described.audioCodec);
  audioCodec_ = described.audioCodec;
  hasAudio_ = true;
  audio_.start(described.audioRtpPort, described.audioCodec, join.group, join.interfaceAddress);
}

StreamRecovery::Observation MulticastRoad::observe() const {
  // The connection ends by design once the group is known: the media alone tells whether the
  // stream goes on.
  return {.ended = handler_.finished(),
          .playing = handler_.status().playing(),
          .failure = handler_.status().failure(),
          .mediaPackets = video_.packetsReceived() + audio_.packetsReceived(),
          .mediaOnConnection = false,
          .canFallBack = false};
}

std::optional<int32_t> MulticastRoad::audioCodec() const {
  if (!hasAudio_.load(std::memory_order_acquire)) return std::nullopt;
  return audioCodec_.load(std::memory_order_relaxed);
}

bool MulticastRoad::GetJpegFrame(const uint8_t** data, int32_t* length) {
  return model_ == IPCAMERA_VIDEO_MODEL_MULTICAST_JPEG && video_.GetJpegFrame(data, length);
}

int32_t MulticastRoad::GetH264Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info) {
  return isH264Model(model_) ? video_.GetH264Frame(image, size, info) : 0;
}

int32_t MulticastRoad::GetMpeg4Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info) {
  return isMpeg4Model(model_) ? video_.GetMpeg4Frame(image, size, info) : -1;
}

int32_t MulticastRoad::LendH264Frame(PictureLease* lease, BITMAPINFOHEADER* info) {
  return isH264Model(model_) ? video_.LendH264Frame(lease, info) : 0;
}

}  // namespace vexa
