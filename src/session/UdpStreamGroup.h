#pragma once

#include <cstdint>
#include <memory>

#include "protocol/rtcp/IPCameraRTCP.h"
#include "protocol/rtp/IPCameraMediaManager.h"
#include "protocol/rtsp/IPCameraSocket.h"
#include "session/StreamConfig.h"

namespace vexa {

class H264Decoder;

// The handlers of one stream of the UDP models: the RTSP dialogue on TCP and the receivers that
// own the client ports. Kept together so that their order of start, stop and destruction is
// written once.
class UdpStreamGroup {
 public:
  // config: the site's configuration, which outlives the group.
  explicit UdpStreamGroup(StreamConfig& config);
  UdpStreamGroup(const UdpStreamGroup&) = delete;
  UdpStreamGroup& operator=(const UdpStreamGroup&) = delete;
  ~UdpStreamGroup();

  // Starts the receivers, then the dialogue; true when any of them started.
  bool play(H264Decoder* decoder);
  // Stops the video receiver, the dialogue (which tears the session down) and the receiver
  // reports.
  void stop();

  IPCameraMediaManager& video() { return video_; }
  const IPCameraMediaManager& video() const { return video_; }
  IPCameraSocket& dialogue() { return dialogue_; }
  const IPCameraSocket& dialogue() const { return dialogue_; }

 private:
  StreamConfig& config_;
  IPCameraMediaManager video_;
  IPCameraRTCP videoRtcp_;
  // Declared after the receivers it configures from its worker, so it ends first.
  IPCameraSocket dialogue_;
};

}  // namespace vexa
