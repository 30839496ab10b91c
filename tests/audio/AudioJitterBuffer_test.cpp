#include "audio/AudioJitterBuffer.h"

#include <gtest/gtest.h>

#include "AudioTestSupport.h"

namespace vexa::audio {
namespace {

using test::rtpPacket;
using Bytes = std::vector<uint8_t>;

constexpr auto kTaken = AudioJitterBuffer::kTaken;
constexpr auto kIgnored = AudioJitterBuffer::kIgnored;

TEST(AudioJitterBuffer, HandsOutWholeBlocksOnly) {
  AudioJitterBuffer buffer(kCodecG726_32);
  EXPECT_EQ(buffer.push(rtpPacket(1, {})), kTaken);  // header only: adds nothing
  ASSERT_EQ(buffer.push(rtpPacket(2, Bytes(639, 0x11))), kTaken);
  EXPECT_TRUE(buffer.blockCount() == 0 && buffer.frontBlock().empty());
  buffer.pop();  // nothing to pop: the partial block stays
  ASSERT_EQ(buffer.push(rtpPacket(3, Bytes(641, 0x22))), kTaken);
  ASSERT_EQ(buffer.blockCount(), 2u);
  const auto block = buffer.frontBlock();
  ASSERT_EQ(block.size(), 640u);
  EXPECT_EQ(std::pair(block[638], block[639]), std::pair(uint8_t(0x11), uint8_t(0x22)));
  buffer.pop();
  EXPECT_EQ(buffer.blockCount(), 1u);
  EXPECT_EQ(buffer.frontBlock()[0], 0x22);
}

// Lost packets are counted, not filled in; a repeat, an older packet, another source's or one
// that is no RTP adds nothing.
TEST(AudioJitterBuffer, KeepsOnlyTheStreamsNewPacketsAndCountsGaps) {
  AudioJitterBuffer buffer(kCodecPcmu);
  ASSERT_EQ(buffer.push(rtpPacket(65534, Bytes(10, 1))), kTaken);
  for (const Bytes& ignored : {rtpPacket(65534, Bytes(10, 2)), rtpPacket(65533, Bytes(10, 3)),
                               rtpPacket(65535, Bytes(10, 4), 0x55667788), Bytes(11, 0x80)}) {
    EXPECT_EQ(buffer.push(ignored), kIgnored) << ::testing::PrintToString(ignored);
  }
  ASSERT_EQ(buffer.push(rtpPacket(2, Bytes(10, 5))), kTaken);
  EXPECT_EQ(buffer.heldBytes(), 20u);
  EXPECT_EQ(buffer.tracker().lostPackets(), 3u);  // 65535, 0 and 1
  EXPECT_EQ(buffer.tracker().wrapCount(), 1);
}

TEST(AudioJitterBuffer, KeepsOnlyTheNewestBlocksWhenNobodyPops) {
  AudioJitterBuffer buffer(kCodecG726_16);  // 320-byte blocks
  uint16_t sequence = 1;
  for (int block = 0; block < 3 * int(AudioJitterBuffer::kMaxHeldBlocks); ++block) {
    // Two packets per block, the block number in every byte; the last one is half a block.
    buffer.push(rtpPacket(sequence++, Bytes(160, uint8_t(block))));
    buffer.push(rtpPacket(sequence++, Bytes(160, uint8_t(block))));
  }
  buffer.push(rtpPacket(sequence++, Bytes(100, 0xEE)));
  EXPECT_LE(buffer.heldBytes(), AudioJitterBuffer::kMaxHeldBlocks * 320);
  EXPECT_EQ(buffer.heldBytes() % 320, 100u);
  ASSERT_GT(buffer.blockCount(), 0u);
  // Whole blocks went: the front is still the start of a block, one of the newest.
  EXPECT_EQ(buffer.frontBlock()[0], buffer.frontBlock()[319]);
  EXPECT_GE(buffer.frontBlock()[0], 3 * AudioJitterBuffer::kMaxHeldBlocks - buffer.blockCount());
}

TEST(AudioJitterBuffer, CodecSetsTheBlockSizeAndDropsBytesOfTheOldOne) {
  AudioJitterBuffer buffer(kCodecPcma);
  buffer.push(rtpPacket(1, Bytes(700, 1)));
  buffer.setCodec(kCodecG726_24);
  EXPECT_EQ(buffer.blockBytes(), 480u);
  EXPECT_EQ(buffer.heldBytes(), 0u);
  buffer.push(rtpPacket(2, Bytes(480, 2)));
  buffer.setCodec(kCodecG726_24);  // the same codec keeps what is held
  buffer.setCodec(6);              // no such codec
  EXPECT_EQ(buffer.codec(), kCodecG726_24);
  EXPECT_EQ(buffer.blockCount(), 1u);
}

}  // namespace
}  // namespace vexa::audio
