#include "session/UdpStreamGroup.h"

#include "common/VideoModel.h"
#include "media/RecordingSink.h"
#include "platform/Thread.h"

namespace vexa {

namespace {
// The interface for a multicast join; unicast streams have none.
const std::string kAnyInterface;
}  // namespace

UdpStreamGroup::UdpStreamGroup(StreamConfig& config, H264Decoder* decoder,
                               RecordingSink* recorder,
                               const platform::AudioOutputFactory& audioOutput,
                               platform::Dialogs* dialogs)
    : model_(config.model),
      config_(config),
      video_(config.model),
      audio_(audioOutput),
      videoRtcp_([this] { return video_.figures(); }),
      audioRtcp_([this] { return audio_.figures(); }),
      dialogue_([this, recorder](const StreamConfig& described) {
        video_.configure(described);
        audio_.setConfiguredCodec(described.audioCodec);
        if (recorder != nullptr) recorder->describeStream(recordedFactsOf(described));
      }) {
  audioRtcp_.setMediaClock(MediaClock::kAudio);
  video_.setDecoder(decoder);
  video_.setRecordingSink(recorder);
  video_.setDialogs(dialogs);
}

UdpStreamGroup::~UdpStreamGroup() {
  // The reports read the receivers' figures: they end before the receivers do.
  audioRtcp_.stop();
  videoRtcp_.stop();
}

bool UdpStreamGroup::play() {
  dialogue_.setConfig(&config_);
  // The camera's address stands where a multicast group would; the manager joins only groups.
  const bool videoStarted =
      video_.start(config_.host, kAnyInterface, config_.videoRtpPort) == platform::kStarted;
  videoRtcp_.start(config_.host, config_.videoRtcpPort);
  const bool audioStarted =
      audio_.start(config_.audioRtpPort, config_.audioCodec) == platform::kStarted;
  audioRtcp_.start(config_.host, config_.audioRtcpPort);
  const bool dialogueStarted = dialogue_.Play();
  return videoStarted || audioStarted || dialogueStarted;
}

void UdpStreamGroup::stop() {
  video_.stop();
  dialogue_.Stop();
  audioRtcp_.stop();
  videoRtcp_.stop();
}

StreamRecovery::Observation UdpStreamGroup::observe() const {
  return {.ended = dialogue_.finished(),
          .playing = dialogue_.status().playing(),
          .failure = dialogue_.status().failure(),
          .mediaPackets = video_.packetsReceived() + audio_.packetsReceived(),
          .mediaOnConnection = false,
          .canFallBack = true};
}

bool UdpStreamGroup::GetJpegFrame(const uint8_t** data, int32_t* length) {
  return model_ == IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_JPEG && video_.GetJpegFrame(data, length);
}

int32_t UdpStreamGroup::GetH264Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info) {
  return isH264Model(model_) ? video_.GetH264Frame(image, size, info) : 0;
}

int32_t UdpStreamGroup::GetMpeg4Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info) {
  return isMpeg4Model(model_) ? video_.GetMpeg4Frame(image, size, info) : -1;
}

int32_t UdpStreamGroup::LendH264Frame(PictureLease* lease, BITMAPINFOHEADER* info) {
  return isH264Model(model_) ? video_.LendH264Frame(lease, info) : 0;
}

}  // namespace vexa
