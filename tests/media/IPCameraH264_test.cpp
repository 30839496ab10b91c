#include "media/IPCameraH264.h"

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "media/H264Decoder.h"
#include "media/VideoDecoderSet.h"
#include "media/rtp/H264Nal.h"
#include "platform/Dialogs.h"
#include "support/Codecs.h"
#include "support/RecordingTap.h"

namespace vexa {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(IPCameraH264, DecodesOnlyUnitsThatBeginWithASliceOrParameterSet) {
  const std::vector<std::pair<Bytes, bool>> cases = {
      {{0, 0, 1, 0x65, 1}, true},            // 3-byte start code, IDR slice
      {{0, 0, 0, 1, 0x41, 1}, true},         // 4-byte start code, non-IDR slice
      {{0, 0, 0, 0, 0, 1, 0x67}, true},      // the 00 of 00 01 at position 4, the last looked at
      {{0, 0, 0, 0, 0, 0, 1, 0x67}, false},  // ... and one beyond it
      {{0, 0, 1, 0x69}, true},               // type 9, access unit delimiter
      {{0, 0, 1, 0x00}, false},              // type 0
      {{0, 0, 1, 0x6A}, false},              // type 10
      {{0x65, 0, 0, 1}, false},              // no start code in front
      {{0, 0, 1}, false},                    // start code without a NAL header
      {{}, false},
  };
  for (const auto& [unit, decodable] : cases)
    EXPECT_EQ(isDecodableAccessUnit(unit), decodable) << ::testing::PrintToString(unit);
}

// The decode thread's input: units handed over by the receivers.

using rtp::AccessUnitQueue;
using HandOff = AccessUnitQueue::HandOff;

// Start code, NAL header (NRI, type), body.
const Bytes kIdrUnit = {0, 0, 0, 1, 0x65, 0x88, 0x01};     // IDR slice
const Bytes kSpsUnit = {0, 0, 1, 0x67, 0x42, 0x00, 0x1F};  // SPS
Bytes pUnit(uint8_t tag) {  // non-IDR slice, the tag telling units apart
  return {0, 0, 0, 1, 0x41, tag};
}

std::vector<Bytes> drain(AccessUnitQueue& queue) {
  std::vector<Bytes> units;
  const auto take = [&](std::span<const uint8_t> unit) {
    units.emplace_back(unit.begin(), unit.end());
  };
  while (queue.takeOldest(take)) continue;
  return units;
}

// Units go to the decode thread oldest first; a key unit (IDR slice or SPS first) behind three
// or more waiting units replaces them all. Units the decoder cannot take, and any but a key unit
// behind a full backlog, are refused.
TEST(AccessUnitQueue, DropsTheBacklogOnlyForAKeyUnitBehindThreeWaitingAndCapsIt) {
  constexpr size_t kFull = AccessUnitQueue::kMaxWaitingUnits;
  constexpr HandOff kQueued = HandOff::kQueued, kDropped = HandOff::kDropped;
  // clang-format off
  const struct {
    size_t waiting;
    Bytes arriving;
    HandOff result;
    size_t handedOut;
  } cases[] = {{3, kIdrUnit, kQueued, 1}, {3, kSpsUnit, kQueued, 1}, {3, pUnit(0), kQueued, 4},
               {2, kIdrUnit, kQueued, 3}, {kFull, pUnit(0), kDropped, kFull},
               {kFull, kIdrUnit, kQueued, 1}, {1, {}, kDropped, 1},
               {1, Bytes(rtp::kMaxAccessUnitSize + 1, 0), kDropped, 1}};
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << c.waiting << " waiting, " << c.arriving.size() << " bytes");
    AccessUnitQueue queue;
    for (size_t i = 1; i <= c.waiting; ++i) queue.handOff(pUnit(uint8_t(i)));
    EXPECT_EQ(queue.handOff(c.arriving), c.result);
    const std::vector<Bytes> units = drain(queue);
    ASSERT_EQ(units.size(), c.handedOut);
    const bool replaced = c.result == kQueued && c.handedOut == 1;
    EXPECT_EQ(units.front(), replaced ? c.arriving : pUnit(1));
    EXPECT_EQ(units.back(), c.result == kQueued ? c.arriving : pUnit(uint8_t(c.waiting)));
  }
}

// Runs `whileBusy` while a decode thread holds the input lock, busy with the oldest unit.
void whileDecoderBusy(AccessUnitQueue& queue, const std::function<void()>& whileBusy) {
  std::promise<void> inside, release;
  std::thread decoder([&] {
    queue.takeOldest([&](std::span<const uint8_t>) {
      inside.set_value();
      release.get_future().wait();
    });
  });
  inside.get_future().wait();
  whileBusy();
  release.set_value();
  decoder.join();
}

TEST(AccessUnitQueue, ParksUnitsWhileTheLockIsBusyAndCountsThemTowardsTheBacklog) {
  AccessUnitQueue queue;
  queue.handOff(pUnit(1));
  whileDecoderBusy(queue, [&] {
    EXPECT_EQ(queue.handOff(pUnit(2)), HandOff::kParked);
    EXPECT_EQ(queue.parkedCount(), 1u);
  });
  // The parked unit goes ahead of the next.
  EXPECT_EQ(queue.handOff(pUnit(3)), HandOff::kQueued);
  EXPECT_EQ(queue.parkedCount(), 0u);
  EXPECT_EQ(drain(queue), (std::vector<Bytes>{pUnit(2), pUnit(3)}));
  EXPECT_EQ(queue.handedOver(), 3u);
  // Unit 5 waits, 6 and 7 are parked: a key unit now replaces all three.
  queue.handOff(pUnit(4));
  queue.handOff(pUnit(5));
  whileDecoderBusy(queue, [&] {  // takes unit 4
    queue.handOff(pUnit(6));
    queue.handOff(pUnit(7));
  });
  queue.handOff(kIdrUnit);
  EXPECT_EQ(drain(queue), std::vector<Bytes>{kIdrUnit});
}

// The recording takes every unit as it arrived, before decoding (even one the decoder refuses),
// and the size of each decoded picture; nothing while no recording runs.
TEST(IPCameraH264, WithoutADecoderUnitsStillDrainSoTheThreadCanSleep) {
  IPCameraH264 handler;
  ASSERT_EQ(handler.handOff(kIdrUnit), HandOff::kQueued);
  EXPECT_TRUE(handler.decodeNext());
  EXPECT_FALSE(handler.decodeNext());
}

// Stop arriving while the thread takes the last unit must not be slept through: the rounds sweep
// the moment of the stop across the thread's turn.
TEST(IPCameraH264, StopsWhileItTakesTheLastUnit) {
  const Bytes undecodable = {0, 0, 1, 0x00, 1};
  for (int round = 0; round < 1000; ++round) {
    IPCameraH264 handler;
    ASSERT_EQ(handler.Start(), platform::kStarted);
    handler.handOff(undecodable);
    while (handler.queuedCount() != 0) std::this_thread::yield();
    handler.handOff(undecodable);
    for (volatile int spin = 0; spin < round % 200 * 10; spin = spin + 1) {
    }
    handler.Stop();
  }
}

TEST(IPCameraH264, HandsUnitsAndPictureSizesToTheRecordingWhileOneRuns) {
  if (test::h264Encoder() == nullptr) GTEST_SKIP() << "no H.264 encoder in this FFmpeg";
  const Bytes key = test::makeH264Encoder(64, 48)->encode(test::makeYuv(64, 48, [](int, int) {
    return test::grey(128);
  }));
  H264Decoder decoder;
  ASSERT_TRUE(decoder.Open());
  IPCameraH264 thread;
  test::RecordingTap sink;
  thread.setDecoder(&decoder);
  thread.setRecordingSink(&sink);
  const Bytes refused = {0, 0, 1, 0x00, 1};
  for (const Bytes& unit : {refused, key}) {
    thread.handOff(unit);
    thread.decodeNext();
  }
  EXPECT_EQ(sink.frames, (std::vector<Bytes>{refused, key}));
  EXPECT_EQ(sink.calls.back(), "size 64x48");
  sink.recording = false;
  thread.handOff(key);
  thread.decodeNext();
  EXPECT_EQ(sink.calls.size(), 3u);
}

TEST(VideoDecoderSet, OpensBothSilentlyAndReportsAFailureOnceKeepingTheDecoderThatOpened) {
  platform::RecordingDialogs dialogs;
  VideoDecoderSet both(dialogs);
  ASSERT_TRUE(both.mjpeg() && both.h264());
  EXPECT_TRUE(both.mjpeg()->isOpen() && both.h264()->isOpen());
  EXPECT_TRUE(dialogs.messages().empty());

  const auto noH264 = [] { return std::unique_ptr<H264Decoder>(); };
  VideoDecoderSet oneMissing(dialogs, VideoDecoderSet::openMjpeg, noH264);
  EXPECT_EQ(oneMissing.h264(), nullptr);
  EXPECT_TRUE(oneMissing.mjpeg() && oneMissing.mjpeg()->isOpen());
  ASSERT_EQ(dialogs.messages().size(), 1u);
  EXPECT_EQ(dialogs.messages()[0].text + " / " + dialogs.messages()[0].caption,
            "VIDEO DECODER INIT FAIL!! / ERROR");
  VideoDecoderSet noneOpened(
      dialogs, [] { return std::unique_ptr<MjpegDecoder>(); }, noH264);
  EXPECT_EQ(noneOpened.mjpeg(), nullptr);
  EXPECT_EQ(dialogs.messages().size(), 2u);
}

}  // namespace
}  // namespace vexa
