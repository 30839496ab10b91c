#include "media/rtp/AccessUnitQueue.h"

#include "common/DebugTrace.h"
#include "media/rtp/H264Nal.h"

namespace vexa::rtp {

void AccessUnitQueue::Units::append(std::span<const uint8_t> unit) {
  bytes_.insert(bytes_.end(), unit.begin(), unit.end());
  sizes_.push_back(unit.size());
}

void AccessUnitQueue::Units::appendAll(const Units& other) {
  bytes_.insert(bytes_.end(), other.bytes_.begin(), other.bytes_.end());
  sizes_.insert(sizes_.end(), other.sizes_.begin(), other.sizes_.end());
}

void AccessUnitQueue::Units::popFront() {
  bytes_.erase(bytes_.begin(), bytes_.begin() + std::ptrdiff_t(sizes_.front()));
  sizes_.pop_front();
}

void AccessUnitQueue::Units::clear() {
  bytes_.clear();
  sizes_.clear();
}

AccessUnitQueue::HandOff AccessUnitQueue::handOff(std::span<const uint8_t> unit) {
  if (unit.empty() || unit.size() > kMaxAccessUnitSize) {
    DebugTrace("H.264: not handing over an access unit of %zu bytes", unit.size());
    return HandOff::kDropped;
  }
  std::unique_lock lock(inputLock_, std::try_to_lock);
  if (!lock.owns_lock()) return park(unit);

  if (parked_.count() + queued_.count() > kBacklogLimit && beginsWithKeyNal(unit)) {
    DebugTrace("H.264: decoder behind by %zu units, restarting at a key unit",
               parked_.count() + queued_.count());
    parked_.clear();
    queued_.clear();
  }
  if (parked_.count() > 0 && !queued_.fits(parked_)) {
    DebugTrace("H.264: decoder input full, dropped %zu parked access units", parked_.count());
    parked_.clear();
  }
  if (parked_.count() > 0) {
    queued_.appendAll(parked_);
    handedOver_.fetch_add(uint32_t(parked_.count()), std::memory_order_relaxed);
    parked_.clear();
  }
  if (!queued_.fits(1, unit.size())) {
    DebugTrace("H.264: decoder input full, dropped an access unit of %zu bytes", unit.size());
    return HandOff::kDropped;
  }
  queued_.append(unit);
  handedOver_.fetch_add(1, std::memory_order_relaxed);
  // Wake the decoder for every unit: waiting for a second one would hold each picture back by a
  // frame interval, and the last one of a stream for ever.
  event_.set();
  return HandOff::kQueued;
}

AccessUnitQueue::HandOff AccessUnitQueue::park(std::span<const uint8_t> unit) {
  if (!parked_.fits(1, unit.size())) {
    DebugTrace("H.264: too many units parked, dropped one of %zu bytes", unit.size());
    return HandOff::kDropped;
  }
  parked_.append(unit);
  return HandOff::kParked;
}

}  // namespace vexa::rtp
