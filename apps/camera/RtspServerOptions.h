#pragma once

#include <cstdint>
#include <string>

#include "camera/AudioCodec.h"
#include "camera/SessionDescription.h"

namespace vexa::camera {

struct RtspServerOptions {
  static constexpr size_t kMinRtpPacketSize = 256;
  static constexpr size_t kMaxRtpPacketSize = 0xFFFF;  // what an interleaved frame can hold

  std::string bindAddress = "127.0.0.1";
  uint16_t port = 0;  // 0: an ephemeral port, see RtspServer::port()
  int width = 640;
  int height = 480;
  int fps = 10;
  int quality = 70;  // JPEG, 1..100
  AudioCodec audio = AudioCodec::Pcmu;
  // SPS and PPS in one STAP-A packet instead of one packet each.
  bool stapA = false;
  int keyFrameInterval = 0;  // pictures between H.264 key frames; 0: one a second
  uint8_t h264PayloadType = kDefaultH264PayloadType;
  size_t maxRtpPacketSize = 1400;  // RTP header included
  int senderReportIntervalMs = 5000;
  // A connection that hears nothing from its client (no request, no RTCP) for this long is
  // closed; 0: never. Announced in the Session header.
  int sessionTimeoutSeconds = 60;
};

}  // namespace vexa::camera
