#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "media/rtp/ReceptionFigures.h"
#include "platform/Clock.h"

namespace vexa {

enum class MediaClock : int { kVideo = 1, kAudio = 0 };

// The receiver report this system answers every RTCP packet with (RFC 3550 sections 6.4.2 and
// 6.5): one RR with one report block, then an SDES with the CNAME, 52 bytes in all. The
// interleaved handlers send it back on the channel the camera's packet came on.
class IPCameraRTCPPacket {
 public:
  static constexpr size_t kReportSize = 52;
  static constexpr size_t kCnameCapacity = 10;
  static constexpr const char* kDefaultCname = "610-Kelmo";

  // cname: the computer name (cut to 10 characters; the default text when empty). senderSsrc:
  // this receiver's SSRC, drawn once per session by the caller (redrawn here if it collides).
  IPCameraRTCPPacket(MediaClock clock, const platform::Clock& time, const std::string& cname,
                     uint32_t senderSsrc);

  void setMediaClock(MediaClock clock) { clock_ = clock; }

  // Reads a sender report from the packet when it is one (its 28-byte fixed part at least),
  // then builds the report into the buffer; the 52 bytes. Anything else changes nothing but
  // the interval figures.
  std::span<const uint8_t> process(std::span<const uint8_t> rtcp, const ReceptionFigures& figures);
  std::span<const uint8_t> report() const { return report_; }

 private:
  void readSenderReport(std::span<const uint8_t> rtcp, uint32_t arrivalMs);
  uint8_t fractionLost(const ReceptionFigures& figures);
  void updateJitter(uint32_t timestampStep, uint32_t arrivalStepMs);
  void build(const ReceptionFigures& figures, uint8_t fraction);

  MediaClock clock_;
  const platform::Clock& time_;
  std::array<uint8_t, kCnameCapacity> cname_{};
  uint8_t cnameLength_ = 0;
  uint8_t sdesPadding_ = 0;  // zero octets after the chunk, counted in the last one
  uint32_t senderSsrc_;
  uint32_t mediaSsrc_ = 0;
  uint32_t lsr_ = 0;
  bool haveSenderReport_ = false;
  uint32_t reportTimestamp_ = 0;  // of the latest sender report
  uint32_t reportArrivalMs_ = 0;
  uint32_t latestArrivalMs_ = 0;  // of the latest RTCP packet
  uint32_t previousExtendedSequence_ = 0;
  uint32_t previousLost_ = 0;
  uint32_t jitter_ = 0;
  std::array<uint8_t, kReportSize> report_{};
};

}  // namespace vexa
