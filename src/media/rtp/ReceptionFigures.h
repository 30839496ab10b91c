#pragma once

#include <atomic>
#include <cstdint>

namespace vexa {

// What the receiving side has counted of one RTP stream, as a receiver report states it.
struct ReceptionFigures {
  uint16_t lastSequence = 0;
  uint16_t wrapCount = 0;
  uint32_t lostPackets = 0;
};

// The figures of a receiving thread, published for readers on others (statistics, receiver
// reports). Each part is one word: a reader may see parts of two successive packets.
class PublishedReceptionFigures {
 public:
  void publish(const ReceptionFigures& figures) {
    sequenceAndWraps_.store(uint32_t(figures.wrapCount) << kWrapShift | figures.lastSequence,
                            std::memory_order_relaxed);
    lost_.store(figures.lostPackets, std::memory_order_relaxed);
  }
  ReceptionFigures load() const {
    const uint32_t packed = sequenceAndWraps_.load(std::memory_order_relaxed);
    return {uint16_t(packed), uint16_t(packed >> kWrapShift), lostPackets()};
  }
  uint32_t lostPackets() const { return lost_.load(std::memory_order_relaxed); }

 private:
  static constexpr int kWrapShift = 16;
  std::atomic<uint32_t> sequenceAndWraps_{0};  // last sequence low, wrap count high
  std::atomic<uint32_t> lost_{0};
};

}  // namespace vexa
