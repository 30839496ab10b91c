#pragma once

#include <type_traits>

#include "media/H264PacketAssembler.h"
#include "media/JpegPacketAssembler.h"
#include "media/Mpeg4PacketAssembler.h"
#include "protocol/rtsp/InterleavedHandlers.h"
#include "session/StreamRoad.h"

namespace vexa {

class H264Decoder;

// The interleaved family as a road: one handler, whose video path is the picture source.
template <typename Handler>
class InterleavedRoad final : public StreamRoad {
 public:
  InterleavedRoad(uint32_t model, StreamConfig& config, H264Decoder* decoder,
                  RecordingSink* recorder, const platform::AudioOutputFactory& audioOutput,
                  platform::Dialogs* dialogs = nullptr)
      : model_(model), config_(config), handler_(audioOutput) {
    handler_.session().setRecordingSink(recorder);
    if constexpr (kH264) {
      handler_.video().setDecoder(decoder);
      handler_.video().setRecordingSink(recorder);
    }
    if constexpr (kMpeg4) handler_.video().playThread().setDialogs(dialogs);
  }

  uint32_t model() const override { return model_; }
  bool play() override {
    handler_.setConfig(&config_);
    return handler_.Play();
  }
  void stop() override { handler_.Stop(); }
  StreamRecovery::Observation observe() const override {
    const InterleavedRtspSession& session = handler_.session();
    return {.ended = session.finished(),
            .playing = session.status().playing(),
            .failure = session.status().failure(),
            .mediaPackets = session.mediaPackets(),
            .mediaOnConnection = true,
            .canFallBack = false};
  }

  CLFXCriticalSection* imageLock() override {
    if constexpr (kJpeg) return &handler_.video().frameLock();
    if constexpr (kH264) return &handler_.video().decodeThread().outputLock();
    if constexpr (kMpeg4) return &handler_.video().playThread().pictureLock();
    return nullptr;
  }
  const std::atomic<uint32_t>* pictureCounter() const override {
    if constexpr (kJpeg) return &handler_.video().pictureCounter();
    if constexpr (kH264) return &handler_.video().decodeThread().pictureCounter();
    if constexpr (kMpeg4) return &handler_.video().playThread().pictureCounter();
    return nullptr;
  }
  bool GetJpegFrame(const uint8_t** data, int32_t* length) override {
    if constexpr (kJpeg) return handler_.video().GetJpegFrame(data, length);
    return false;
  }
  int32_t GetH264Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info) override {
    if constexpr (kH264) return handler_.video().decodeThread().GetH264Frame(image, size, info);
    return 0;
  }
  int32_t LendH264Frame(PictureLease* lease, BITMAPINFOHEADER* info) override {
    if constexpr (kH264) return handler_.video().decodeThread().LendH264Frame(lease, info);
    return 0;
  }
  int32_t GetMpeg4Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info) override {
    if constexpr (kMpeg4) return handler_.video().playThread().GetMpeg4Frame(image, size, info);
    return -1;
  }

  uint32_t takeVideoBytes() override { return handler_.session().takeVideoBytes(); }
  uint32_t takeAudioBytes() override { return handler_.session().takeAudioBytes(); }
  int32_t videoDrop() const override { return handler_.video().lostPackets(); }
  int32_t audioDrop() const override { return handler_.session().audioLost(); }
  void setAudioOn(bool on) override { handler_.session().setAudioOn(on); }
  std::optional<int32_t> audioCodec() const override {
    return handler_.session().audioCodec();
  }

 private:
  using VideoPath = std::remove_reference_t<decltype(std::declval<Handler&>().video())>;
  static constexpr bool kJpeg = std::is_same_v<VideoPath, JpegPacketAssembler>;
  static constexpr bool kH264 = std::is_same_v<VideoPath, H264PacketAssembler>;
  static constexpr bool kMpeg4 = std::is_same_v<VideoPath, Mpeg4PacketAssembler>;

  const uint32_t model_;
  StreamConfig& config_;
  Handler handler_;
};

}  // namespace vexa
