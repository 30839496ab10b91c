#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include "audio/UdpAudioReceiver.h"
#include "common/StreamConfig.h"
#include "platform/AudioOutput.h"
#include "protocol/rtp/IPCameraMediaManager.h"
#include "protocol/rtsp/IPCameraMulticast.h"
#include "session/StreamRoad.h"

namespace vexa {

class H264Decoder;
class RecordingSink;

// The multicast models: two DESCRIBEs on a short RTSP connection, then the video and audio
// receivers joined to the camera's group. The receivers start only once the descriptions told
// the group and ports, and run on after the connection ended.
class MulticastRoad final : public StreamRoad {
 public:
  // config: the site's configuration, which outlives the road. decoder: the player's H.264
  // decoder (not owned). dialogs, when given, hears of the MPEG-4 play thread's failures.
  MulticastRoad(StreamConfig& config, H264Decoder* decoder, RecordingSink* recorder,
                const platform::AudioOutputFactory& audioOutput,
                platform::Dialogs* dialogs = nullptr);
  MulticastRoad(const MulticastRoad&) = delete;
  MulticastRoad& operator=(const MulticastRoad&) = delete;
  ~MulticastRoad() override;

  bool play() override;
  void stop() override;

  uint32_t model() const override { return model_; }
  StreamRecovery::Observation observe() const override;
  CLFXCriticalSection* imageLock() override { return &video_.imageLock(); }
  const std::atomic<uint32_t>* pictureCounter() const override { return &video_.pictureCounter(); }
  bool GetJpegFrame(const uint8_t** data, int32_t* length) override;
  int32_t GetH264Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info) override;
  int32_t LendH264Frame(PictureLease* lease, BITMAPINFOHEADER* info) override;
  int32_t GetMpeg4Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info) override;
  uint32_t takeVideoBytes() override { return video_.takeReceivedBytes(); }
  uint32_t takeAudioBytes() override { return audio_.takeReceivedBytes(); }
  int32_t videoDrop() const override { return video_.lostPackets(); }
  int32_t audioDrop() const override { return audio_.lostPackets(); }
  void setAudioOn(bool on) override { audio_.setAudioOn(on); }
  std::optional<int32_t> audioCodec() const override;

  IPCameraMediaManager& video() { return video_; }
  IPCamera_Multicast_Handler& handler() { return handler_; }

 private:
  // On the handler's worker, once both descriptions are read.
  void startMedia(const StreamConfig& described, const MulticastJoin& join);

  const uint32_t model_;
  StreamConfig& config_;
  IPCameraMediaManager video_;
  audio::UdpAudioReceiver audio_;
  RecordingSink* recorder_;
  std::atomic<bool> hasAudio_{false};
  std::atomic<int32_t> audioCodec_{kAudioCodecPcma};
  // Declared after the receivers it starts from its worker, so it ends first.
  IPCamera_Multicast_Handler handler_;
};

}  // namespace vexa
