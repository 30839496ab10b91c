#include "audio/AudioPacketPath.h"

#include <gtest/gtest.h>

#include "AudioTestSupport.h"
#include "audio/G711.h"

namespace vexa::audio {
namespace {

using test::rtpPacket;

// A-law block halves: two packets of 640 bytes make one block.
constexpr size_t kHalfBlock = kBlockSamples / 2;

struct AudioPacketPathTest : ::testing::Test {
  void send(uint8_t code, size_t bytes = kHalfBlock) {
    path.onPacket(rtpPacket(sequence++, std::vector<uint8_t>(bytes, code)));
  }
  std::vector<uint8_t> pcmOf(uint8_t code, size_t blocks = 1) {
    return test::pcmBytes(std::vector<int16_t>(blocks * kBlockSamples, decodeALaw(code)));
  }

  platform::RecordingAudioOutput device;
  AudioPacketPath path{device.factory(), kCodecPcma};
  uint16_t sequence = 500;
};

TEST_F(AudioPacketPathTest, PlaysEachWholeBlockOnce) {
  send(0x10);
  EXPECT_EQ(device.queueCount(), 0u);
  send(0x10);
  send(0x20);
  send(0x20);
  auto expected = pcmOf(0x10);
  const auto second = pcmOf(0x20);
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_EQ(device.pcm(), expected);
  EXPECT_EQ(path.blocksPlayed(), 2u);
}

TEST_F(AudioPacketPathTest, MutedAudioIsConsumedSoUnmutingPlaysCurrentAudio) {
  path.setAudioOn(false);
  for (int i = 0; i < 10; ++i) send(0x10);
  EXPECT_EQ(device.queueCount(), 0u);
  EXPECT_EQ(path.blocksDiscarded(), 5u);
  path.setAudioOn(true);
  send(0x20);
  send(0x20);
  EXPECT_EQ(device.pcm(), pcmOf(0x20));
}

TEST_F(AudioPacketPathTest, StalePacketIsNotPlayed) {
  send(0x10);
  sequence -= 2;  // one older than the last
  send(0x30);
  sequence += 1;
  send(0x10);
  EXPECT_EQ(device.pcm(), pcmOf(0x10));
}

TEST_F(AudioPacketPathTest, BlocksTheDeviceHasNoRoomForAreDroppedNotKept) {
  device.setQueuedBytes(AudioPlayer::kMaxQueuedBlocks * kDecodedBlockBytes);
  for (int i = 0; i < 6; ++i) send(0x10);
  EXPECT_EQ(device.queueCount(), 0u);
  EXPECT_EQ(path.blocksDiscarded(), 3u);
  device.setQueuedBytes(0);
  send(0x20);
  send(0x20);
  EXPECT_EQ(device.pcm(), pcmOf(0x20));
}

TEST(AudioPacketPath, WithoutADeviceBlocksAreStillConsumed) {
  AudioPacketPath path(platform::noAudioOutputFactory(), kCodecG726_32);
  EXPECT_FALSE(path.playerUsable());
  path.onPacket(rtpPacket(1, std::vector<uint8_t>(1300, 0x77)));
  EXPECT_EQ(path.blocksDiscarded(), 2u);
  EXPECT_EQ(path.blocksPlayed(), 0u);
}

TEST_F(AudioPacketPathTest, CountsReceivedBytesAndReportsReception) {
  send(0x10, 100);
  sequence += 2;  // two lost
  send(0x10, 50);
  path.onPacket(std::vector<uint8_t>(5, 0));  // too short, still received
  EXPECT_EQ(path.takeReceivedBytes(), 112u + 62u + 5u);
  EXPECT_EQ(path.takeReceivedBytes(), 0u);
  const ReceptionFigures figures = path.figures();
  EXPECT_EQ(figures.lastSequence, 503);
  EXPECT_EQ(figures.lostPackets, 2u);
  EXPECT_EQ(path.lostPackets(), 2);
}

}  // namespace
}  // namespace vexa::audio
