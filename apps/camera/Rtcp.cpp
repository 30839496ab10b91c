#include "camera/Rtcp.h"

#include <algorithm>

namespace vexa::camera {
namespace {

constexpr uint8_t kVersion2 = 0x80;
constexpr uint8_t kVersionMask = 0xC0;
constexpr uint8_t kCountMask = 0x1F;
constexpr uint8_t kSenderReport = 200;
constexpr uint8_t kReceiverReport = 201;
constexpr uint8_t kSourceDescription = 202;
constexpr uint8_t kCnameItem = 1;
constexpr uint8_t kEndItem = 0;
constexpr size_t kHeaderSize = 4;
constexpr size_t kSsrcSize = 4;
constexpr size_t kReportBlockSize = 24;
constexpr size_t kWordSize = 4;
constexpr size_t kMaxItemLength = 255;
// Seconds from the NTP era (1900) to the Unix epoch (1970).
constexpr uint64_t kNtpEpochOffset = 2208988800ULL;

uint32_t readLong(std::span<const uint8_t> bytes, size_t at) {
  return uint32_t(bytes[at]) << 24 | uint32_t(bytes[at + 1]) << 16 | uint32_t(bytes[at + 2]) << 8 |
         bytes[at + 3];
}

void appendLong(std::vector<uint8_t>& out, uint32_t value) {
  out.insert(out.end(),
             {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)});
}

ReceiverReport readReport(std::span<const uint8_t> packet) {
  ReceiverReport report;
  report.reporterSsrc = readLong(packet, kHeaderSize);
  const size_t block = kHeaderSize + kSsrcSize;
  if ((packet[0] & kCountMask) == 0 || packet.size() < block + kReportBlockSize) return report;
  report.hasBlock = true;
  report.sourceSsrc = readLong(packet, block);
  report.fractionLost = packet[block + 4];
  report.cumulativeLost = readLong(packet, block + 4) & 0xFFFFFF;
  report.highestSequence = readLong(packet, block + 8);
  report.jitter = readLong(packet, block + 12);
  report.lastSenderReport = readLong(packet, block + 16);
  report.delaySinceLastSenderReport = readLong(packet, block + 20);
  return report;
}

}  // namespace

std::optional<ReceiverReport> findReceiverReport(std::span<const uint8_t> compound) {
  size_t at = 0;
  while (at + kHeaderSize <= compound.size()) {
    if ((compound[at] & kVersionMask) != kVersion2) return std::nullopt;
    const size_t length = (size_t(compound[at + 2]) << 8 | compound[at + 3]) + 1;
    if (at + length * kWordSize > compound.size()) return std::nullopt;
    const auto packet = compound.subspan(at, length * kWordSize);
    // RFC 3550 section 6.4.2: a receiver report holds at least the reporter's SSRC.
    if (compound[at + 1] == kReceiverReport && packet.size() >= kHeaderSize + kSsrcSize) {
      return readReport(packet);
    }
    at += packet.size();
  }
  return std::nullopt;
}

std::vector<uint8_t> buildSenderReport(const SenderInfo& sender, std::string_view cname) {
  constexpr uint16_t kSenderReportWords = 6;  // 28 bytes, less one word
  std::vector<uint8_t> out = {kVersion2, kSenderReport, 0, kSenderReportWords};
  appendLong(out, sender.ssrc);
  appendLong(out, uint32_t(sender.ntpTime >> 32));
  appendLong(out, uint32_t(sender.ntpTime));
  appendLong(out, sender.rtpTimestamp);
  appendLong(out, sender.packetCount);
  appendLong(out, sender.octetCount);

  // RFC 3550 section 6.5: one chunk, the CNAME item, an end item, padded to a whole word.
  const std::string_view name = cname.substr(0, std::min(cname.size(), kMaxItemLength));
  const size_t descriptionStart = out.size();
  out.insert(out.end(), {uint8_t(kVersion2 | 1), kSourceDescription, 0, 0});
  appendLong(out, sender.ssrc);
  out.push_back(kCnameItem);
  out.push_back(uint8_t(name.size()));
  out.insert(out.end(), name.begin(), name.end());
  do {
    out.push_back(kEndItem);
  } while ((out.size() - descriptionStart) % kWordSize != 0);
  const size_t words = (out.size() - descriptionStart) / kWordSize - 1;
  out[descriptionStart + 2] = uint8_t(words >> 8);
  out[descriptionStart + 3] = uint8_t(words);
  return out;
}

uint64_t toNtpTime(std::chrono::system_clock::time_point time) {
  const auto sinceEpoch =
      std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
  const uint64_t nanoseconds = sinceEpoch > 0 ? uint64_t(sinceEpoch) : 0;
  const uint64_t seconds = nanoseconds / 1000000000ULL + kNtpEpochOffset;
  const uint64_t fraction = ((nanoseconds % 1000000000ULL) << 32) / 1000000000ULL;
  return seconds << 32 | fraction;
}

}  // namespace vexa::camera
