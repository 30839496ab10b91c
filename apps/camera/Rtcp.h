#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace vexa::camera {

// What a receiver report says about one stream (RFC 3550 section 6.4.2, first report block).
struct ReceiverReport {
  uint32_t reporterSsrc = 0;
  bool hasBlock = false;  // the fields below are 0 without one
  uint32_t sourceSsrc = 0;
  uint8_t fractionLost = 0;
  uint32_t cumulativeLost = 0;  // 24 bits
  uint32_t highestSequence = 0;
  uint32_t jitter = 0;
  uint32_t lastSenderReport = 0;
  uint32_t delaySinceLastSenderReport = 0;
};

// The first receiver report in a compound RTCP packet; nullopt when there is none or a packet
// header before it is malformed (wrong version, length beyond the end).
std::optional<ReceiverReport> findReceiverReport(std::span<const uint8_t> compound);

struct SenderInfo {
  uint32_t ssrc = 0;
  uint64_t ntpTime = 0;  // seconds since 1900 in the high word, fraction in the low
  uint32_t rtpTimestamp = 0;
  uint32_t packetCount = 0;
  uint32_t octetCount = 0;
};

// A compound packet: a sender report without report blocks, then a source description with the
// CNAME (RFC 3550 sections 6.4.1 and 6.5). cname is cut to 255 bytes.
std::vector<uint8_t> buildSenderReport(const SenderInfo& sender, std::string_view cname);

uint64_t toNtpTime(std::chrono::system_clock::time_point time);

}  // namespace vexa::camera
