#pragma once

#include <cstdint>

#include "audio/UdpAudioReceiver.h"
#include "common/StreamConfig.h"
#include "common/VideoModel.h"
#include "media/RecordingSink.h"
#include "platform/AudioOutput.h"
#include "protocol/rtp/IPCameraMediaManager.h"
#include "session/StreamRoad.h"

namespace vexa {

class H264Decoder;

// A road whose media arrives as datagrams at its own receivers (RTP over UDP, multicast): the
// video and audio receivers and everything the site asks of them. The road adds the RTSP side
// that tells the receivers where to listen; being declared in the road, it ends before them.
class ReceiverRoad : public StreamRoad {
 public:
  uint32_t model() const override { return model_; }
  CLFXCriticalSection* imageLock() override { return &video_.imageLock(); }
  const std::atomic<uint32_t>* pictureCounter() const override { return &video_.pictureCounter(); }
  bool GetJpegFrame(const uint8_t** data, int32_t* length) override {
    return isJpegModel(model_) && video_.GetJpegFrame(data, length);
  }
  int32_t GetH264Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info) override {
    return isH264Model(model_) ? video_.GetH264Frame(image, size, info) : 0;
  }
  int32_t LendH264Frame(PictureLease* lease, BITMAPINFOHEADER* info) override {
    return isH264Model(model_) ? video_.LendH264Frame(lease, info) : 0;
  }
  int32_t GetMpeg4Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info) override {
    return isMpeg4Model(model_) ? video_.GetMpeg4Frame(image, size, info) : -1;
  }
  uint32_t takeVideoBytes() override { return video_.takeReceivedBytes(); }
  uint32_t takeAudioBytes() override { return audio_.takeReceivedBytes(); }
  int32_t videoDrop() const override { return video_.lostPackets(); }
  int32_t audioDrop() const override { return audio_.lostPackets(); }
  void setAudioOn(bool on) override { audio_.setAudioOn(on); }

  IPCameraMediaManager& video() { return video_; }
  audio::UdpAudioReceiver& audio() { return audio_; }

 protected:
  // config: the site's configuration, which outlives the road. decoder: the player's H.264
  // decoder (not owned). dialogs, when given, hears of the MPEG-4 play thread's failures.
  ReceiverRoad(StreamConfig& config, H264Decoder* decoder, RecordingSink* recorder,
               const platform::AudioOutputFactory& audioOutput, platform::Dialogs* dialogs)
      : model_(config.model),
        config_(config),
        recorder_(recorder),
        video_(config.model),
        audio_(audioOutput) {
    video_.setDecoder(decoder);
    video_.setRecordingSink(recorder);
    video_.setDialogs(dialogs);
  }

  // What a new session's description told, for the receivers and the recorder.
  void takeDescription(const StreamConfig& described) {
    video_.configure(described);
    audio_.setConfiguredCodec(described.audioCodec);
    if (recorder_ != nullptr) recorder_->describeStream(recordedFactsOf(described));
  }

  const uint32_t model_;
  StreamConfig& config_;
  RecordingSink* const recorder_;
  IPCameraMediaManager video_;
  audio::UdpAudioReceiver audio_;
};

}  // namespace vexa
