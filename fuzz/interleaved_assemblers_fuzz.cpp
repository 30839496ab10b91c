// The interleaved video paths fed RTP packets as the video channel hands them over: the JPEG
// assembler, the H.264 assembler (its units to the decode thread's input) and the MPEG-4 assembler
// (its pictures to the play thread) all take the same packets, each through its own parse and sequence accounting.
//
// Input: one byte of options (bit 0: the H.264 path knows parameter sets from a description),
// then records of a 16-bit big-endian length and the packet.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "media/H264PacketAssembler.h"
#include "media/JpegPacketAssembler.h"
#include "media/Mpeg4PacketAssembler.h"
#include "media/rtp/JpegDepacketizer.h"

namespace {

constexpr uint8_t kWithParameterSets = 0x01;
// An interleaved frame's length field bounds what the channel hands over.
constexpr size_t kMaxFrameBytes = 0xFFFF;

// Counters the statistics and the display read only ever grow.
struct Counts {
  uint32_t lost = 0;
  uint32_t pictures = 0;

  void check(uint32_t nowLost, uint32_t nowPictures) {
    if (nowLost < lost || nowPictures < pictures) __builtin_trap();
    lost = nowLost;
    pictures = nowPictures;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  vexa::JpegPacketAssembler jpeg;
  vexa::H264PacketAssembler h264;
  vexa::Mpeg4PacketAssembler mpeg4;
  if ((data[0] & kWithParameterSets) != 0) h264.configure(vexa::fuzz::withParameterSets());
  Counts jpegCounts, h264Counts, mpeg4Counts;
  vexa::fuzz::forEachRecord({data + 1, size - 1}, kMaxFrameBytes, [&](vexa::fuzz::Bytes packet) {
    jpeg.onPacket(packet);
    h264.onPacket(packet);
    mpeg4.onPacket(packet);
    jpegCounts.check(uint32_t(jpeg.lostPackets()), jpeg.pictureCounter().load());
    h264Counts.check(uint32_t(h264.lostPackets()), h264.decodeThread().pictureCounter().load());
    mpeg4Counts.check(uint32_t(mpeg4.lostPackets()), mpeg4.playThread().pictureCounter().load());
    if (!vexa::fuzz::offersWholeJpegOrNone(jpeg, vexa::rtp::JpegDepacketizer::kMaxPictureBytes)) {
      __builtin_trap();
    }
  });
  h264.stop();
  mpeg4.stop();
  return 0;
}
