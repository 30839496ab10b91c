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
  std::vector<uint8_t> pcmOf(uint8_t code) {
    return test::pcmBytes(std::vector<int16_t>(kBlockSamples, decodeALaw(code)));
  }

  platform::RecordingAudioOutput device;
  AudioPacketPath path{device.factory(), kCodecPcma};
  uint16_t sequence = 500;
};

TEST_F(AudioPacketPathTest, PlaysEachWholeBlockOnceAsLittleEndianPcm) {
  send(0x10);
  EXPECT_EQ(device.queueCount(), 0u);
  for (const uint8_t code : {0x10, 0x2A, 0x2A}) send(code);
  EXPECT_EQ(device.pcm(), rtp::test::concat({pcmOf(0x10), pcmOf(0x2A)}));
  EXPECT_EQ(path.blocksPlayed(), 2u);
}

// Muted, or with a full device, blocks are taken off and dropped: turning audio on again or
// the device draining plays what arrives then, not a backlog.
TEST_F(AudioPacketPathTest, BlocksThatCannotBePlayedAreConsumedNotKept) {
  for (const bool muted : {true, false}) {
    SCOPED_TRACE(muted ? "muted" : "device full");
    path.setAudioOn(!muted);
    device.setQueuedBytes(muted ? 0 : AudioPlayer::kMaxQueuedBlocks * kDecodedBlockBytes);
    const uint32_t discarded = path.blocksDiscarded();
    for (int i = 0; i < 6; ++i) send(0x10);
    EXPECT_EQ(device.queueCount(), 0u);
    EXPECT_EQ(path.blocksDiscarded(), discarded + 3);
  }
  path.setAudioOn(true);
  device.setQueuedBytes(0);
  send(0x20);
  send(0x20);
  EXPECT_EQ(device.pcm(), pcmOf(0x20));
}

TEST(AudioPacketPath, WithoutADeviceBlocksAreStillConsumed) {
  for (const auto& factory : {platform::noAudioOutputFactory(), platform::AudioOutputFactory()}) {
    AudioPacketPath path(factory, kCodecG726_32);
    EXPECT_FALSE(path.playerUsable());
    path.onPacket(rtpPacket(1, std::vector<uint8_t>(1300, 0x77)));
    EXPECT_EQ(path.blocksDiscarded(), 2u);
    EXPECT_EQ(path.blocksPlayed(), 0u);
  }
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
