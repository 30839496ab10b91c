#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <vector>

#include "common/CriticalSection.h"
#include "media/rtp/Depacketizer.h"
#include "platform/Event.h"

namespace vexa::rtp {

// Complete access units on their way from the receiving thread to the decode thread.
//
// The receiving thread never waits here: it only tries the input lock, and when the decode thread
// holds it the unit is parked on the receiving side and goes in ahead of the next one. When the
// decoder has fallen behind (more than two units waiting) and a unit arrives that it can restart
// from (IDR slice or SPS first), everything older is thrown away. One receiving thread and one
// decode thread use a queue.
class AccessUnitQueue {
 public:
  enum class HandOff { kQueued, kParked, kDropped };

  // Units waiting before a key unit makes the backlog go.
  static constexpr size_t kBacklogLimit = 2;
  // What may wait on either side of the lock, so a stalled decoder cannot take all memory.
  static constexpr size_t kMaxWaitingBytes = 8 * 1024 * 1024;
  static constexpr size_t kMaxWaitingUnits = 256;

  AccessUnitQueue() = default;
  AccessUnitQueue(const AccessUnitQueue&) = delete;
  AccessUnitQueue& operator=(const AccessUnitQueue&) = delete;

  // Receiving thread: hand a complete unit over without waiting.
  HandOff handOff(std::span<const uint8_t> unit);
  // Receiving thread only.
  size_t parkedCount() const { return parked_.count(); }
  // Units moved into the queue so far (parked ones included), from any thread.
  uint32_t handedOver() const { return handedOver_.load(std::memory_order_relaxed); }

  // Decode thread: calls use(std::span<const uint8_t>) with the oldest unit under the input lock,
  // then removes it; the event is reset once the queue is empty. False when nothing waits.
  template <typename Use>
  bool takeOldest(Use&& use) {
    std::lock_guard lock(inputLock_);
    if (queued_.count() == 0) return false;
    use(queued_.front());
    queued_.popFront();
    if (queued_.count() == 0) event_.reset();
    return true;
  }
  // Set while the decode thread has work.
  platform::Event& event() { return event_; }
  // Takes the input lock: not for the receiving thread.
  size_t queuedCount() {
    std::lock_guard lock(inputLock_);
    return queued_.count();
  }

 private:
  // Units back to back with their sizes.
  class Units {
   public:
    size_t count() const { return sizes_.size(); }
    // Whether units of these totals can join without passing the caps.
    bool fits(size_t units, size_t bytes) const {
      return count() + units <= kMaxWaitingUnits && bytes_.size() + bytes <= kMaxWaitingBytes;
    }
    bool fits(const Units& other) const { return fits(other.count(), other.bytes_.size()); }
    void append(std::span<const uint8_t> unit);
    void appendAll(const Units& other);
    std::span<const uint8_t> front() const { return {bytes_.data(), sizes_.front()}; }
    void popFront();
    void clear();

   private:
    std::vector<uint8_t> bytes_;
    std::deque<size_t> sizes_;
  };

  HandOff park(std::span<const uint8_t> unit);

  CLFXCriticalSection inputLock_;
  platform::Event event_{platform::Event::Reset::Manual};
  Units queued_;  // under inputLock_
  Units parked_;  // receiving thread only
  std::atomic<uint32_t> handedOver_{0};
};

}  // namespace vexa::rtp
