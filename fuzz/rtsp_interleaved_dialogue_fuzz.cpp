// The interleaved RTSP dialogue fed what a camera sends on its connection, in reads of varying
// size: the answers to DESCRIBE, SETUP and PLAY, then channel frames (video RTP to the codec's
// path, audio RTP to the sound path, RTCP answered with receiver reports) with answers to
// keep-alives between them. No connection is made: requests and reports go nowhere and the
// bytes come in through the read step.
//
// Input: one byte choosing the codec (bits 0 and 1: 0 JPEG, 1 MPEG-4, else H.264) and, in bit 2,
// sound off; one choosing the read size; then the camera's bytes.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "media/H264PacketAssembler.h"
#include "media/JpegPacketAssembler.h"
#include "media/Mpeg4PacketAssembler.h"
#include "media/rtp/JpegDepacketizer.h"
#include "platform/AudioOutput.h"
#include "platform/Clock.h"
#include "protocol/rtsp/InterleavedRtspSession.h"

namespace {

using vexa::InterleavedRtspSession;

constexpr size_t kHeaderSize = 2;
constexpr uint8_t kCodecBits = 0x03;
constexpr uint8_t kSoundOff = 0x04;

// What the owner reads between reads only ever grows, and never counts more than came in.
struct Watch {
  void check(InterleavedRtspSession& session, const vexa::InterleavedVideoPath& video, size_t fed) {
    mediaBytes += uint64_t(session.takeVideoBytes()) + session.takeAudioBytes();
    if (session.state() > InterleavedRtspSession::kTornDown || session.mediaPackets() < packets ||
        uint32_t(video.lostPackets()) < lost || session.audio().packetsReceived() < audioPackets ||
        mediaBytes > fed) {
      __builtin_trap();
    }
    packets = session.mediaPackets();
    lost = uint32_t(video.lostPackets());
    audioPackets = session.audio().packetsReceived();
  }

  uint64_t packets = 0;
  uint32_t lost = 0;
  uint64_t audioPackets = 0;
  uint64_t mediaBytes = 0;
};

// A JPEG picture on offer is a whole one within the depacketiser's cap.
void checkPicture(const vexa::JpegPacketAssembler& video) {
  if (!vexa::fuzz::offersWholeJpegOrNone(video, vexa::rtp::JpegDepacketizer::kMaxPictureBytes)) {
    __builtin_trap();
  }
}
void checkPicture(const vexa::InterleavedVideoPath&) {}

template <typename VideoPath>
void converse(const vexa::InterleavedCodecPolicy& policy, const uint8_t* data, size_t size) {
  vexa::StreamConfig config;
  config.host = "127.0.0.1";
  config.path = "/stream";
  vexa::platform::ManualClock clock;
  VideoPath video;  // outlives the session, as in the handlers
  InterleavedRtspSession session(policy, video, clock, vexa::platform::nullAudioOutputFactory());
  session.setConfig(&config);
  session.setAudioOn((data[0] & kSoundOff) == 0);
  session.onWrite();  // DESCRIBE, as when the connection is made

  Watch watch;
  size_t fed = 0;
  vexa::fuzz::forEachRead({data + kHeaderSize, size - kHeaderSize}, vexa::fuzz::readSize(data[1]),
                          [&](vexa::fuzz::Bytes read) {
    session.onReceived(read);
    fed += read.size();
    clock.advance(uint32_t(read.size()));
    watch.check(session, video, fed);
    checkPicture(video);
    // The worker reads no more once the connection is given up.
    return !session.status().failure();
  });
  video.stop();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kHeaderSize) return 0;
  switch (data[0] & kCodecBits) {
    case 0:
      converse<vexa::JpegPacketAssembler>(vexa::kJpegInterleavedPolicy, data, size);
      break;
    case 1:
      converse<vexa::Mpeg4PacketAssembler>(vexa::kMpeg4InterleavedPolicy, data, size);
      break;
    default:
      converse<vexa::H264PacketAssembler>(vexa::kH264InterleavedPolicy, data, size);
      break;
  }
  return 0;
}
