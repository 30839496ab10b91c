#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include "common/StreamConfig.h"
#include "platform/AudioOutput.h"
#include "protocol/rtsp/IPCameraMulticast.h"
#include "session/ReceiverRoad.h"

namespace vexa {

// The multicast models: two DESCRIBEs on a short RTSP connection, then the video and audio
// receivers joined to the camera's group. The receivers start only once the descriptions (or,
// from a server that places the stream at SETUP, the answers to SETUP) told the group and ports,
// and run on after the connection ended.
class MulticastRoad final : public ReceiverRoad {
 public:
  MulticastRoad(StreamConfig& config, H264Decoder* decoder, RecordingSink* recorder,
                const platform::AudioOutputFactory& audioOutput,
                platform::Dialogs* dialogs = nullptr);
  MulticastRoad(const MulticastRoad&) = delete;
  MulticastRoad& operator=(const MulticastRoad&) = delete;
  ~MulticastRoad() override;

  bool play() override;
  void stop() override;

  StreamRecovery::Observation observe() const override;
  std::optional<int32_t> audioCodec() const override;

  IPCamera_Multicast_Handler& handler() { return handler_; }

 private:
  // On the handler's worker, once both descriptions are read.
  void startMedia(const StreamConfig& described, const MulticastJoin& join);

  std::atomic<bool> hasAudio_{false};
  std::atomic<int32_t> audioCodec_{kAudioCodecPcma};
  // Declared after the receivers it starts from its worker, so it ends first.
  IPCamera_Multicast_Handler handler_;
};

}  // namespace vexa
