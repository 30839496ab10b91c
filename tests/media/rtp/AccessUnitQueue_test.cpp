#include "media/rtp/AccessUnitQueue.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>
#include <vector>

#include "media/rtp/H264Nal.h"

namespace vexa::rtp {
namespace {

using Bytes = std::vector<uint8_t>;
using HandOff = AccessUnitQueue::HandOff;

const Bytes kIdrUnit = {
    0,    0,    0, 1,  // start code
    0x65,              // NAL header: NRI 3, type 5 (IDR slice)
    0x88, 0x01,        // slice data
};
const Bytes kSpsUnit = {
    0,    0,    1,     // start code
    0x67,              // NAL header: NRI 3, type 7 (SPS)
    0x42, 0x00, 0x1F,  // profile, constraints, level
};
Bytes pUnit(uint8_t tag) {
  return {
      0,    0, 0, 1,  // start code
      0x41,           // NAL header: NRI 2, type 1 (non-IDR slice)
      tag,            // slice data telling units apart
  };
}

std::vector<Bytes> drain(AccessUnitQueue& queue) {
  std::vector<Bytes> units;
  while (queue.takeOldest(
      [&](std::span<const uint8_t> unit) { units.emplace_back(unit.begin(), unit.end()); })) {
  }
  return units;
}

TEST(AccessUnitQueue, HandsUnitsToTheDecodeThreadOldestFirst) {
  AccessUnitQueue queue;
  EXPECT_EQ(queue.handOff(kIdrUnit), HandOff::kQueued);
  EXPECT_EQ(queue.handOff(pUnit(1)), HandOff::kQueued);
  EXPECT_EQ(queue.queuedCount(), 2u);
  EXPECT_EQ(drain(queue), (std::vector<Bytes>{kIdrUnit, pUnit(1)}));
  EXPECT_EQ(queue.handedOver(), 2u);
  EXPECT_FALSE(queue.takeOldest([](std::span<const uint8_t>) { FAIL(); }));
}

TEST(AccessUnitQueue, DropsTheBacklogWhenAKeyUnitArrivesBehindThreeWaiting) {
  for (const Bytes& key : {kIdrUnit, kSpsUnit}) {
    AccessUnitQueue queue;
    for (uint8_t tag = 1; tag <= 3; ++tag) queue.handOff(pUnit(tag));
    EXPECT_EQ(queue.handOff(key), HandOff::kQueued);
    EXPECT_EQ(drain(queue), std::vector<Bytes>{key});
  }
}

TEST(AccessUnitQueue, KeepsTheBacklogForAUnitThatIsNoRestartPoint) {
  AccessUnitQueue queue;
  for (uint8_t tag = 1; tag <= 3; ++tag) queue.handOff(pUnit(tag));
  queue.handOff(pUnit(4));
  EXPECT_EQ(queue.queuedCount(), 4u);
}

TEST(AccessUnitQueue, KeepsTwoWaitingUnitsBeforeAKeyUnit) {
  AccessUnitQueue queue;
  queue.handOff(pUnit(1));
  queue.handOff(pUnit(2));
  queue.handOff(kIdrUnit);
  EXPECT_EQ(drain(queue), (std::vector<Bytes>{pUnit(1), pUnit(2), kIdrUnit}));
}

// Holds the input lock from a decode thread busy with the oldest unit, until released.
class BusyDecoder {
 public:
  explicit BusyDecoder(AccessUnitQueue& queue)
      : thread_([this, &queue] {
          queue.takeOldest([this](std::span<const uint8_t>) {
            inside_.set_value();
            release_.get_future().wait();
          });
        }) {
    inside_.get_future().wait();
  }
  ~BusyDecoder() { release(); }
  void release() {
    if (!thread_.joinable()) return;
    release_.set_value();
    thread_.join();
  }

 private:
  std::promise<void> inside_, release_;
  std::thread thread_;
};

TEST(AccessUnitQueue, ParksAUnitWhileTheLockIsBusyAndSendsItAheadOfTheNext) {
  AccessUnitQueue queue;
  queue.handOff(pUnit(1));
  {
    BusyDecoder busy(queue);
    EXPECT_EQ(queue.handOff(pUnit(2)), HandOff::kParked);
    EXPECT_EQ(queue.parkedCount(), 1u);
  }
  EXPECT_EQ(queue.queuedCount(), 0u);
  EXPECT_EQ(queue.handOff(pUnit(3)), HandOff::kQueued);
  EXPECT_EQ(queue.parkedCount(), 0u);
  EXPECT_EQ(drain(queue), (std::vector<Bytes>{pUnit(2), pUnit(3)}));
  EXPECT_EQ(queue.handedOver(), 3u);
}

TEST(AccessUnitQueue, CountsParkedUnitsTowardsTheBacklog) {
  AccessUnitQueue queue;
  queue.handOff(pUnit(1));
  queue.handOff(pUnit(2));
  {
    BusyDecoder busy(queue);  // takes unit 1
    queue.handOff(pUnit(3));
    queue.handOff(pUnit(4));
  }
  // Unit 2 waits, 3 and 4 are parked: a key unit now replaces all three.
  queue.handOff(kIdrUnit);
  EXPECT_EQ(drain(queue), std::vector<Bytes>{kIdrUnit});
}

TEST(AccessUnitQueue, WakesTheDecoderForEveryUnitUntilTheQueueIsEmpty) {
  AccessUnitQueue queue;
  EXPECT_FALSE(queue.event().wait(0));
  queue.handOff(pUnit(1));
  EXPECT_TRUE(queue.event().wait(0));  // one unit is enough: no picture waits for the next
  queue.handOff(pUnit(2));
  queue.takeOldest([](std::span<const uint8_t>) {});
  EXPECT_TRUE(queue.event().wait(0));
  queue.takeOldest([](std::span<const uint8_t>) {});
  EXPECT_FALSE(queue.event().wait(0));
}

TEST(AccessUnitQueue, RefusesUnitsTheDecoderCannotTake) {
  AccessUnitQueue queue;
  EXPECT_EQ(queue.handOff({}), HandOff::kDropped);
  EXPECT_EQ(queue.handOff(Bytes(kMaxAccessUnitSize + 1, 0)), HandOff::kDropped);
  EXPECT_EQ(queue.queuedCount(), 0u);
}

TEST(AccessUnitQueue, StopsTakingUnitsWhenTheDecoderFallsTooFarBehind) {
  AccessUnitQueue queue;
  size_t queued = 0;
  for (size_t i = 0; i <= AccessUnitQueue::kMaxWaitingUnits; ++i) {
    if (queue.handOff(pUnit(uint8_t(i))) == HandOff::kQueued) ++queued;
  }
  EXPECT_EQ(queued, AccessUnitQueue::kMaxWaitingUnits);
  // A key unit still gets through: it replaces the backlog.
  EXPECT_EQ(queue.handOff(kIdrUnit), HandOff::kQueued);
  EXPECT_EQ(queue.queuedCount(), 1u);
}

}  // namespace
}  // namespace vexa::rtp
