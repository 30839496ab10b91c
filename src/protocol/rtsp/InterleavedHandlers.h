#pragma once

#include "media/H264PacketAssembler.h"
#include "media/JpegPacketAssembler.h"
#include "media/Mpeg4PacketAssembler.h"
#include "protocol/rtsp/InterleavedRtspSession.h"

namespace vexa {

// The interleaved family: one dialogue, told its codec by a policy, and the video path of that
// codec. The video path is declared first: the dialogue's worker, which feeds it, ends first.
template <typename VideoPath, const InterleavedCodecPolicy& kPolicy>
class InterleavedHandler {
 public:
  // audioOutput opens the sound device of the audio track.
  explicit InterleavedHandler(const platform::AudioOutputFactory& audioOutput = {})
      : session_(kPolicy, video_, platform::SystemClock::instance(), audioOutput) {}

  void setConfig(StreamConfig* config) { session_.setConfig(config); }
  bool Play() { return session_.Play(); }
  void Stop() {
    video_.stop();
    session_.Stop();
  }

  InterleavedRtspSession& session() { return session_; }
  const InterleavedRtspSession& session() const { return session_; }
  VideoPath& video() { return video_; }
  const VideoPath& video() const { return video_; }

 private:
  VideoPath video_;
  InterleavedRtspSession session_;
};

using IPCameraJPEG_RTP_over_RTSP = InterleavedHandler<JpegPacketAssembler, kJpegInterleavedPolicy>;
using IPCameraMPEG4_RTP_over_RTSP = InterleavedHandler<Mpeg4PacketAssembler, kMpeg4InterleavedPolicy>;
using IPCameraH264_RTP_over_RTSP = InterleavedHandler<H264PacketAssembler, kH264InterleavedPolicy>;

// The same dialogue through an HTTP tunnel.
using IPCameraJPEG_RTSP_over_HTTP = InterleavedHandler<JpegPacketAssembler, kJpegTunnelPolicy>;
using IPCameraMPEG4_RTSP_over_HTTP = InterleavedHandler<Mpeg4PacketAssembler, kMpeg4TunnelPolicy>;
using IPCameraH264_RTSP_over_HTTP = InterleavedHandler<H264PacketAssembler, kH264TunnelPolicy>;

}  // namespace vexa
