#include "protocol/rtcp/IPCameraRTCPPacket.h"

#include <algorithm>
#include <cstdlib>

namespace vexa {

namespace {

constexpr uint8_t kVersionOneItem = 0x81;  // V=2, P=0, count 1
constexpr uint8_t kPaddingBit = 0x20;
constexpr uint8_t kSenderReportType = 200;
constexpr uint8_t kReceiverReportType = 201;
constexpr uint8_t kSourceDescriptionType = 202;
constexpr uint8_t kCnameItem = 1;
constexpr size_t kCnameItemHeaderSize = 2;  // type and length
constexpr uint16_t kReceiverReportWords = 7;
constexpr uint16_t kSourceDescriptionWords = 4;
// A sender report is read once its fixed part is there (header, SSRC, NTP and RTP timestamps,
// the two counts): a lone report without blocks is exactly that long.
constexpr size_t kMinSenderReportBytes = 28;
constexpr size_t kSenderSsrcAt = 4;
constexpr size_t kNtpMiddleAt = 10;
constexpr size_t kRtpTimestampAt = 16;
constexpr int kJitterGain = 16;
constexpr uint32_t kVideoClockHz = 90000;
constexpr uint32_t kAudioClockHz = 8000;
// DLSR is in units of 1/65536 s; 65 per millisecond is the approximation receivers use.
constexpr uint32_t kDlsrUnitsPerMs = 65;

uint32_t readBig32(std::span<const uint8_t> bytes, size_t at) {
  return (uint32_t(bytes[at]) << 24) | (uint32_t(bytes[at + 1]) << 16) |
         (uint32_t(bytes[at + 2]) << 8) | bytes[at + 3];
}

void writeBig16(uint8_t* at, uint16_t value) {
  at[0] = uint8_t(value >> 8);
  at[1] = uint8_t(value);
}

void writeBig32(uint8_t* at, uint32_t value) {
  at[0] = uint8_t(value >> 24);
  at[1] = uint8_t(value >> 16);
  at[2] = uint8_t(value >> 8);
  at[3] = uint8_t(value);
}

uint32_t extendedSequence(const ReceptionFigures& figures) {
  return uint32_t(figures.wrapCount) * 65536u + figures.lastSequence;
}

}  // namespace

IPCameraRTCPPacket::IPCameraRTCPPacket(MediaClock clock, const platform::Clock& time,
                                       const std::string& cname, uint32_t senderSsrc)
    : clock_(clock), time_(time), senderSsrc_(senderSsrc) {
  const std::string text = cname.empty() ? std::string(kDefaultCname) : cname;
  cnameLength_ = uint8_t(std::min(text.size(), kCnameCapacity));
  // The rest of the item stays zero: the end of the item list (RFC 3550 section 6.5).
  std::copy_n(text.begin(), cnameLength_, cname_.begin());
  // The chunk ends at the first 32-bit boundary after that end; a short name leaves whole zero
  // words beyond it, which only the padding of the compound's last packet may fill (RFC 3550
  // section 6.4.1, P bit), or receivers take the packet length for wrong.
  const size_t itemBytes = kCnameItemHeaderSize + cnameLength_ + 1;
  const size_t chunkBytes = (itemBytes + 3) / 4 * 4;
  const size_t room = kCnameItemHeaderSize + kCnameCapacity;
  sdesPadding_ = chunkBytes < room ? uint8_t(room - chunkBytes) : 0;
}

std::span<const uint8_t> IPCameraRTCPPacket::process(std::span<const uint8_t> rtcp,
                                                     const ReceptionFigures& figures) {
  latestArrivalMs_ = time_.tickCount();
  if (rtcp.size() >= kMinSenderReportBytes && rtcp[1] == kSenderReportType) {
    readSenderReport(rtcp, latestArrivalMs_);
  }
  // The sender SSRC must differ from the source it reports on (RFC 3550 section 8.1).
  while (senderSsrc_ == mediaSsrc_) senderSsrc_ = senderSsrc_ * 1103515245u + 12345u;
  build(figures, fractionLost(figures));
  return report_;
}

// RFC 3550 section 6.4.1: SSRC of sender, NTP timestamp, RTP timestamp.
void IPCameraRTCPPacket::readSenderReport(std::span<const uint8_t> rtcp, uint32_t arrivalMs) {
  const uint32_t timestamp = readBig32(rtcp, kRtpTimestampAt);
  // The jitter needs two sender reports: against nothing, the first would count the whole
  // stream's age as delay.
  if (haveSenderReport_) updateJitter(timestamp - reportTimestamp_, arrivalMs - reportArrivalMs_);
  haveSenderReport_ = true;
  mediaSsrc_ = readBig32(rtcp, kSenderSsrcAt);
  lsr_ = readBig32(rtcp, kNtpMiddleAt);
  reportTimestamp_ = timestamp;
  reportArrivalMs_ = arrivalMs;
}

// RFC 3550 appendix A.3.
uint8_t IPCameraRTCPPacket::fractionLost(const ReceptionFigures& figures) {
  const int64_t expected = int64_t(extendedSequence(figures)) - int64_t(previousExtendedSequence_);
  const int64_t lost = int64_t(figures.lostPackets) - int64_t(previousLost_);
  previousExtendedSequence_ = extendedSequence(figures);
  previousLost_ = figures.lostPackets;
  if (expected <= 0 || lost <= 0) return 0;
  return uint8_t(std::min<int64_t>(lost * 256 / expected, 255));
}

// Measured on the sender reports' timestamps against their arrival times (RFC 3550 section
// 6.4.1's formula, applied to reports instead of media packets).
void IPCameraRTCPPacket::updateJitter(uint32_t timestampStep, uint32_t arrivalStepMs) {
  const uint32_t clockHz = clock_ == MediaClock::kVideo ? kVideoClockHz : kAudioClockHz;
  const int64_t elapsedUnits = int64_t(arrivalStepMs) * clockHz / 1000;
  const int64_t difference = int64_t(int32_t(timestampStep)) - elapsedUnits;
  const int64_t updated =
      int64_t(jitter_) + (std::llabs(difference) - int64_t(jitter_)) / kJitterGain;
  jitter_ = uint32_t(std::clamp<int64_t>(updated, 0, UINT32_MAX));
}

void IPCameraRTCPPacket::build(const ReceptionFigures& figures, uint8_t fraction) {
  uint8_t* p = report_.data();
  // Receiver report, RFC 3550 section 6.4.2.
  p[0] = kVersionOneItem;
  p[1] = kReceiverReportType;
  writeBig16(p + 2, kReceiverReportWords);
  writeBig32(p + 4, senderSsrc_);
  writeBig32(p + 8, mediaSsrc_);
  writeBig32(p + 12, (uint32_t(fraction) << 24) | (figures.lostPackets & 0xFFFFFF));
  writeBig32(p + 16, extendedSequence(figures));
  writeBig32(p + 20, jitter_);
  writeBig32(p + 24, lsr_);
  // No sender report yet: DLSR is 0 (RFC 3550 section 6.4.1).
  const uint32_t sinceArrivalMs = time_.tickCount() - latestArrivalMs_;
  writeBig32(p + 28, haveSenderReport_ ? sinceArrivalMs * kDlsrUnitsPerMs : 0);
  // Source description with the CNAME, RFC 3550 section 6.5.
  p[32] = sdesPadding_ != 0 ? kVersionOneItem | kPaddingBit : kVersionOneItem;
  p[33] = kSourceDescriptionType;
  writeBig16(p + 34, kSourceDescriptionWords);
  writeBig32(p + 36, senderSsrc_);
  p[40] = kCnameItem;
  p[41] = cnameLength_;
  std::copy(cname_.begin(), cname_.end(), p + 42);
  // The padding's last octet counts the padding octets.
  if (sdesPadding_ != 0) p[kReportSize - 1] = sdesPadding_;
}

}  // namespace vexa
