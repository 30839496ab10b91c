// Feeds arbitrary RTP/JPEG payloads to the JPEG depacketiser on either road, with loss, markers
// and resets where the input says.
//
// Input: one byte choosing the road (bit 0: interleaved), then records of a flags byte (bit 0
// marker, bit 1 loss before the packet, bit 2 payload type 26 rather than 96, bit 3 reset
// first), a 16-bit big-endian payload length and the payload (cut short at the end of input).
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "media/rtp/JpegDepacketizer.h"

namespace {

constexpr uint8_t kMarkerFlag = 0x01;
constexpr uint8_t kLossFlag = 0x02;
constexpr uint8_t kJpegTypeFlag = 0x04;
constexpr uint8_t kResetFlag = 0x08;
constexpr uint8_t kOtherPayloadType = 96;
constexpr size_t kRecordHeaderSize = 3;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vexa::rtp;
  if (size == 0) return 0;
  JpegDepacketizer depacketizer((data[0] & 1) != 0 ? Road::Interleaved : Road::Udp);
  size_t offset = 1;
  uint16_t sequence = 0;
  while (offset + kRecordHeaderSize <= size) {
    const uint8_t flags = data[offset];
    const size_t declared = size_t(data[offset + 1]) << 8 | data[offset + 2];
    offset += kRecordHeaderSize;
    const size_t length = declared < size - offset ? declared : size - offset;

    RtpPacket packet;
    packet.payloadType = (flags & kJpegTypeFlag) != 0 ? kJpegPayloadType : kOtherPayloadType;
    packet.marker = (flags & kMarkerFlag) != 0;
    packet.sequence = sequence++;
    packet.payload = std::span<const uint8_t>(data + offset, length);
    offset += length;

    if ((flags & kResetFlag) != 0) depacketizer.reset();
    if (depacketizer.push(packet, (flags & kLossFlag) != 0) == PushResult::kComplete) {
      // Every picture handed on is a whole JPEG within the cap.
      if (!vexa::fuzz::isWholeJpeg(depacketizer.completedUnit(), JpegDepacketizer::kMaxPictureBytes)) {
        __builtin_trap();
      }
    }
  }
  return 0;
}
