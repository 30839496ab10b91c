// Feeds arbitrary RTCP packets and reception figures to the receiver-report builder, as both
// roads do (the UDP RTCP thread and the interleaved handlers), and checks every report it builds.
//
// Input: one byte choosing the media clock (low bit) and the CNAME length (the rest, modulo 16),
// then records of: 8 bytes of figures (sequence, wrap count, lost packets, big-endian), 1 byte of
// milliseconds the clock moves, a 16-bit big-endian length and the packet (cut at the receive size
// and at the end of input).
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/Clock.h"
#include "protocol/rtcp/IPCameraRTCPPacket.h"
#include "net/DatagramWorker.h"

namespace {

constexpr size_t kRecordHeaderSize = 11;
constexpr size_t kReceiveChunk = size_t(vexa::DatagramWorker::kReceiveChunk);
constexpr uint32_t kSenderSsrc = 0x0BADF00D;

uint32_t big32(const uint8_t* at) {
  return uint32_t(at[0]) << 24 | uint32_t(at[1]) << 16 | uint32_t(at[2]) << 8 | at[3];
}

// What every report must be, whatever came in.
bool wellFormed(std::span<const uint8_t> r, size_t cnameLength) {
  if (r.size() != vexa::IPCameraRTCPPacket::kReportSize) return false;
  if (r[0] != 0x81 || r[1] != 201 || r[2] != 0 || r[3] != 7) return false;
  if ((r[32] & ~0x20) != 0x81 || r[33] != 202 || r[34] != 0 || r[35] != 4) return false;
  if (big32(&r[4]) != big32(&r[36]) || big32(&r[4]) == big32(&r[8])) return false;
  if (r[40] != 1 || r[41] != cnameLength) return false;
  // Short names end the item list and pad what is left, counted in the last octet.
  if (cnameLength < vexa::IPCameraRTCPPacket::kCnameCapacity && r[42 + cnameLength] != 0)
    return false;
  const bool padded = (r[32] & 0x20) != 0;
  return !padded || (r[51] % 4 == 0 && r[51] != 0 && 42 + cnameLength < size_t(52 - r[51]));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const auto clock = (data[0] & 1) != 0 ? vexa::MediaClock::kVideo : vexa::MediaClock::kAudio;
  const std::string cname = std::string("abcdefghijklmno").substr(0, (data[0] >> 1) % 16);
  const size_t expectedLength =
      cname.empty() ? std::string(vexa::IPCameraRTCPPacket::kDefaultCname).size()
                    : std::min(cname.size(), vexa::IPCameraRTCPPacket::kCnameCapacity);
  vexa::platform::ManualClock time;
  vexa::IPCameraRTCPPacket rtcp(clock, time, cname, kSenderSsrc);

  size_t offset = 1;
  while (offset + kRecordHeaderSize <= size) {
    const uint8_t* record = data + offset;
    const vexa::ReceptionFigures figures{uint16_t(record[0] << 8 | record[1]),
                                         uint16_t(record[2] << 8 | record[3]), big32(record + 4)};
    time.advance(record[8]);
    const size_t declared = size_t(record[9]) << 8 | record[10];
    offset += kRecordHeaderSize;
    size_t length = declared < size - offset ? declared : size - offset;
    if (length > kReceiveChunk) length = kReceiveChunk;
    rtcp.setMediaClock(record[8] & 1 ? vexa::MediaClock::kVideo : vexa::MediaClock::kAudio);
    const auto report = rtcp.process(std::span<const uint8_t>(data + offset, length), figures);
    if (!wellFormed(report, expectedLength)) __builtin_trap();
    offset += length;
  }
  return 0;
}
