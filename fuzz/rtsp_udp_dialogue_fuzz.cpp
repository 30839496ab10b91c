// The UDP models' RTSP dialogue fed what a camera sends on its connection, in reads of varying
// size: the answers to DESCRIBE, SETUP and PLAY (descriptions, sessions, challenges, redirects,
// errors), then answers to keep-alives while the media runs elsewhere. No connection is made:
// the requests go nowhere and the bytes come in through the read step.
//
// Input: one byte choosing the model's codec (modulo 3), one choosing the read size, then the
// camera's bytes.
#include <cstddef>
#include <cstdint>
#include <iterator>

#include "FuzzSupport.h"
#include "common/VideoModel.h"
#include "platform/Clock.h"
#include "protocol/rtsp/IPCameraSocket.h"

namespace {

using vexa::IPCameraSocket;

constexpr uint32_t kModels[] = {
    vexa::IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_JPEG,
    vexa::IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_MPEG4,
    vexa::IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_H264,
};
constexpr size_t kHeaderSize = 2;

bool knownState(int32_t state) {
  switch (state) {
    case IPCameraSocket::kDescribe:
    case IPCameraSocket::kSetupVideo:
    case IPCameraSocket::kSetupAudio:
    case IPCameraSocket::kPlay:
    case IPCameraSocket::kNoMedia:
    case IPCameraSocket::kNoSession:
    case IPCameraSocket::kPlaying:
      return true;
    default:
      return false;
  }
}

// The description never fills more than the configuration holds.
void checkDescribed(const vexa::StreamConfig& config) {
  if (config.spsLength > config.sps.size() || config.ppsLength > config.pps.size() ||
      config.audioCodec < vexa::kAudioCodecUnknownG726 || config.audioCodec > vexa::kAudioCodecG726_40) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kHeaderSize) return 0;
  vexa::StreamConfig config;
  config.model = kModels[data[0] % std::size(kModels)];
  config.host = "127.0.0.1";
  config.path = "/stream";
  config.audioRtpPort = vexa::kFirstClientPort + 5;
  config.audioRtcpPort = vexa::kFirstClientPort + 6;
  vexa::platform::ManualClock clock;
  IPCameraSocket socket(checkDescribed, clock);
  socket.setConfig(&config);
  socket.onWrite();  // DESCRIBE, as when the connection is made

  uint32_t cseq = config.cseq;
  vexa::fuzz::forEachRead({data + kHeaderSize, size - kHeaderSize}, vexa::fuzz::readSize(data[1]),
                          [&](vexa::fuzz::Bytes read) {
    socket.onReceived(read);
    // Requests are numbered onwards; playing is what the owner is told.
    if (config.cseq < cseq || !knownState(socket.state()) ||
        (socket.state() == IPCameraSocket::kPlaying && !socket.status().playing())) {
      __builtin_trap();
    }
    cseq = config.cseq;
    // The worker reads no more once the connection is given up.
    return !socket.status().failure();
  });
  return 0;
}
