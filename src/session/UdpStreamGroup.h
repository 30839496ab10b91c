#pragma once

#include <cstdint>
#include <memory>

#include "audio/UdpAudioReceiver.h"
#include "common/StreamConfig.h"
#include "platform/AudioOutput.h"
#include "protocol/rtcp/IPCameraRTCP.h"
#include "protocol/rtp/IPCameraMediaManager.h"
#include "protocol/rtsp/IPCameraSocket.h"
#include "session/ReceiverRoad.h"

namespace vexa {

// The handlers of one stream of the UDP models: the RTSP dialogue on TCP and the receivers that
// own the client ports. Kept together so that their order of start, stop and destruction is
// written once.
class UdpStreamGroup final : public ReceiverRoad {
 public:
  // audioOutput opens the sound device of the audio track.
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

  StreamRecovery::Observation observe() const override;
  std::optional<int32_t> audioCodec() const override { return dialogue_.audioCodec(); }
  uint16_t talkPort() const { return dialogue_.talkPort(); }

  IPCameraSocket& dialogue() { return dialogue_; }

 private:
  IPCameraRTCP videoRtcp_;
  IPCameraRTCP audioRtcp_;
  // Declared after the receivers it configures from its worker, so it ends first.
  IPCameraSocket dialogue_;
};

}  // namespace vexa
