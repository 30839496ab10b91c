#pragma once

#include <cstdint>
#include <memory>

#include "audio/UdpAudioReceiver.h"
#include "common/StreamConfig.h"
#include "platform/AudioOutput.h"
#include "protocol/rtcp/IPCameraRTCP.h"
#include "protocol/rtp/IPCameraMediaManager.h"
#include "protocol/rtsp/IPCameraSocket.h"
#include "session/StreamRoad.h"

namespace vexa {

class H264Decoder;
class RecordingSink;

// The handlers of one stream of the UDP models: the RTSP dialogue on TCP and the receivers that
// own the client ports. Kept together so that their order of start, stop and destruction is
// written once.
class UdpStreamGroup final : public StreamRoad {
 public:
  // config: the site's configuration, which outlives the group. decoder: the player's H.264
  // decoder (not owned). audioOutput opens the sound device of the audio track. dialogs, when
  // given, hears of the MPEG-4 play thread's failures.
  UdpStreamGroup(StreamConfig& config, H264Decoder* decoder, RecordingSink* recorder,
                 const platform::AudioOutputFactory& audioOutput,
                 platform::Dialogs* dialogs = nullptr);
  UdpStreamGroup(const UdpStreamGroup&) = delete;
  UdpStreamGroup& operator=(const UdpStreamGroup&) = delete;
  ~UdpStreamGroup() override;

  // Starts the receivers, then the dialogue; true when any of them started.
  bool play() override;
  // Stops the video receiver, the dialogue (which tears the session down) and the receiver
  // reports; the audio receiver runs on until the group goes.
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
  std::optional<int32_t> audioCodec() const override { return dialogue_.audioCodec(); }

  IPCameraMediaManager& video() { return video_; }
  audio::UdpAudioReceiver& audio() { return audio_; }
  IPCameraSocket& dialogue() { return dialogue_; }

 private:
  const uint32_t model_;
  StreamConfig& config_;
  IPCameraMediaManager video_;
  audio::UdpAudioReceiver audio_;
  IPCameraRTCP videoRtcp_;
  IPCameraRTCP audioRtcp_;
  // Declared after the receivers it configures from its worker, so it ends first.
  IPCameraSocket dialogue_;
};

}  // namespace vexa
