#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>

#include "camera/Rtcp.h"

namespace vexa::camera {

// A receiver report as it arrived, with the SSRC of the stream it came back on.
struct ReceivedReport {
  bool datagram = false;  // at a stream's RTCP port rather than on the connection
  uint8_t channel = 0;    // the interleaved channel; 0 for a datagram
  uint32_t streamSsrc = 0;
  ReceiverReport report;
};

// Figures every connection of a server adds to.
class RtspCounters {
 public:
  std::atomic<uint64_t> rtpPackets{0};
  std::atomic<uint64_t> senderReports{0};
  std::atomic<uint64_t> receiverReports{0};
  // Interleaved frames and RTCP datagrams from clients that were not receiver reports for a
  // stream set up.
  std::atomic<uint64_t> ignoredFrames{0};
  // Interleaved frames that came Base64-encoded on a tunnel's POST connection.
  std::atomic<uint64_t> postedFrames{0};
  // Bytes a client sent on a tunnel's GET connection after its request; nothing reads them.
  std::atomic<uint64_t> droppedGetBytes{0};

  void recordReport(const ReceivedReport& report) {
    receiverReports.fetch_add(1, std::memory_order_relaxed);
    std::lock_guard lock(mutex_);
    last_ = report;
  }
  std::optional<ReceivedReport> lastReport() const {
    std::lock_guard lock(mutex_);
    return last_;
  }

 private:
  mutable std::mutex mutex_;
  std::optional<ReceivedReport> last_;
};

}  // namespace vexa::camera
