// The tunnelled RTSP dialogue fed what a camera sends on its GET connection, in reads of varying
// size: the HTTP answer that opens the tunnel, then the RTSP answers and channel frames behind it.
// No connection is made: the POST never opens, and requests and reports go nowhere.
//
// Input: one byte choosing the codec (0 JPEG, 1 MPEG-4, else H.264), one choosing the read size,
// then the camera's bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzSupport.h"
#include "media/H264PacketAssembler.h"
#include "media/JpegPacketAssembler.h"
#include "media/Mpeg4PacketAssembler.h"
#include "platform/AudioOutput.h"
#include "platform/Clock.h"
#include "protocol/rtsp/InterleavedRtspSession.h"
#include "protocol/rtsp/RtspTunnel.h"

namespace {

using vexa::InterleavedRtspSession;
using vexa::rtsp::TunnelOpening;

constexpr size_t kHeaderSize = 2;
constexpr uint8_t kCodecBits = 0x03;

// An opening always names a header that ends in the empty line, inside what was read.
void checkOpening(std::string_view received) {
  const TunnelOpening opening = vexa::rtsp::readTunnelOpening(received);
  if (opening.kind == TunnelOpening::Kind::kIncomplete) return;
  if (opening.headerLength < 4 || opening.headerLength > received.size() ||
      received.substr(opening.headerLength - 4, 4) != "\r\n\r\n") {
    __builtin_trap();
  }
}

template <typename VideoPath>
void converse(const vexa::InterleavedCodecPolicy& policy, const uint8_t* data, size_t size) {
  vexa::StreamConfig config;
  config.host = "127.0.0.1";
  config.path = "/stream";
  vexa::platform::ManualClock clock;
  VideoPath video;  // outlives the session, as in the handlers
  InterleavedRtspSession session(policy, video, clock, vexa::platform::nullAudioOutputFactory());
  session.setConfig(&config);
  session.onWrite();  // the GET, as when the connection is made

  vexa::fuzz::forEachRead({data + kHeaderSize, size - kHeaderSize}, vexa::fuzz::readSize(data[1]),
                          [&](vexa::fuzz::Bytes read) {
    session.onReceived(read);
    clock.advance(uint32_t(read.size()));
    if (session.state() > InterleavedRtspSession::kTornDown) __builtin_trap();
    return !session.status().failure();
  });
  video.stop();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kHeaderSize) return 0;
  checkOpening({reinterpret_cast<const char*>(data + kHeaderSize), size - kHeaderSize});
  switch (data[0] & kCodecBits) {
    case 0:
      converse<vexa::JpegPacketAssembler>(vexa::kJpegTunnelPolicy, data, size);
      break;
    case 1:
      converse<vexa::Mpeg4PacketAssembler>(vexa::kMpeg4TunnelPolicy, data, size);
      break;
    default:
      converse<vexa::H264PacketAssembler>(vexa::kH264TunnelPolicy, data, size);
      break;
  }
  return 0;
}
