#pragma once

#include <cstdint>
#include <memory>

#include "audio/UdpAudioReceiver.h"
#include "platform/AudioOutput.h"
#include "protocol/rtcp/IPCameraRTCP.h"
#include "protocol/rtp/IPCameraMediaManager.h"
#include "protocol/rtsp/IPCameraSocket.h"
#include "common/StreamConfig.h"

namespace vexa {

class H264Decoder;

// The handlers of one stream of the UDP models: the RTSP dialogue on TCP and the receivers that
// own the client ports. Kept together so that their order of start, stop and destruction is
// written once.
class UdpStreamGroup {
 public:
  // config: the site's configuration, which outlives the group. audioOutput opens the sound
  // device of the audio track.
  UdpStreamGroup(StreamConfig& config, const platform::AudioOutputFactory& audioOutput);
  UdpStreamGroup(const UdpStreamGroup&) = delete;
  UdpStreamGroup& operator=(const UdpStreamGroup&) = delete;
  ~UdpStreamGroup();

  // Starts the receivers, then the dialogue; true when any of them started.
  bool play(H264Decoder* decoder);
  // Stops the video receiver, the dialogue (which tears the session down) and the receiver
  // reports; the audio receiver runs on until the group goes.
  void stop();

  IPCameraMediaManager& video() { return video_; }
  const IPCameraMediaManager& video() const { return video_; }
  audio::UdpAudioReceiver& audio() { return audio_; }
  const audio::UdpAudioReceiver& audio() const { return audio_; }
  IPCameraSocket& dialogue() { return dialogue_; }
  const IPCameraSocket& dialogue() const { return dialogue_; }

 private:
  StreamConfig& config_;
  IPCameraMediaManager video_;
  audio::UdpAudioReceiver audio_;
  IPCameraRTCP videoRtcp_;
  IPCameraRTCP audioRtcp_;
  // Declared after the receivers it configures from its worker, so it ends first.
  IPCameraSocket dialogue_;
};

}  // namespace vexa
