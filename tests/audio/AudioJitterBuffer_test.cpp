#include "audio/AudioJitterBuffer.h"

#include <gtest/gtest.h>

#include "AudioTestSupport.h"

namespace vexa::audio {
namespace {

using test::rtpPacket;

std::vector<uint8_t> bytesOf(size_t count, uint8_t value) {
  return std::vector<uint8_t>(count, value);
}

TEST(AudioJitterBuffer, HeaderOnlyPacketIsTakenAndAddsNothing) {
  AudioJitterBuffer buffer(kCodecG726_32);
  EXPECT_EQ(buffer.push(rtpPacket(1, {})), AudioJitterBuffer::kTaken);
  EXPECT_EQ(buffer.heldBytes(), 0u);
  EXPECT_EQ(buffer.push(std::vector<uint8_t>(11, 0x80)), AudioJitterBuffer::kIgnored);
}

TEST(AudioJitterBuffer, HandsOutWholeBlocksOnly) {
  AudioJitterBuffer buffer(kCodecG726_32);
  ASSERT_EQ(buffer.push(rtpPacket(1, bytesOf(639, 0x11))), AudioJitterBuffer::kTaken);
  EXPECT_EQ(buffer.blockCount(), 0u);
  EXPECT_TRUE(buffer.frontBlock().empty());
  buffer.pop();  // nothing to pop: the partial block stays
  ASSERT_EQ(buffer.push(rtpPacket(2, bytesOf(641, 0x22))), AudioJitterBuffer::kTaken);
  ASSERT_EQ(buffer.blockCount(), 2u);
  const auto block = buffer.frontBlock();
  ASSERT_EQ(block.size(), 640u);
  EXPECT_EQ(block[638], 0x11);
  EXPECT_EQ(block[639], 0x22);
  buffer.pop();
  EXPECT_EQ(buffer.blockCount(), 1u);
  EXPECT_EQ(buffer.frontBlock()[0], 0x22);
}

TEST(AudioJitterBuffer, DropsStaleForeignAndMalformedPackets) {
  AudioJitterBuffer buffer(kCodecPcmu);
  ASSERT_EQ(buffer.push(rtpPacket(100, bytesOf(10, 1))), AudioJitterBuffer::kTaken);
  EXPECT_EQ(buffer.push(rtpPacket(100, bytesOf(10, 2))), AudioJitterBuffer::kIgnored);  // repeat
  EXPECT_EQ(buffer.push(rtpPacket(99, bytesOf(10, 3))), AudioJitterBuffer::kIgnored);   // older
  EXPECT_EQ(buffer.push(rtpPacket(101, bytesOf(10, 4), 0x55667788)),
            AudioJitterBuffer::kIgnored);  // another source
  auto version1 = rtpPacket(101, bytesOf(10, 5));
  version1[0] = 0x40;
  EXPECT_EQ(buffer.push(version1), AudioJitterBuffer::kIgnored);
  EXPECT_EQ(buffer.heldBytes(), 10u);
  EXPECT_EQ(buffer.tracker().lastSequence(), 100);
}

TEST(AudioJitterBuffer, GapsAreCountedNotFilled) {
  AudioJitterBuffer buffer(kCodecPcmu);
  buffer.push(rtpPacket(65534, bytesOf(10, 1)));
  ASSERT_EQ(buffer.push(rtpPacket(2, bytesOf(10, 2))), AudioJitterBuffer::kTaken);
  EXPECT_EQ(buffer.heldBytes(), 20u);
  EXPECT_EQ(buffer.tracker().lostPackets(), 3u);  // 65535, 0 and 1
  EXPECT_EQ(buffer.tracker().wrapCount(), 1);
}

TEST(AudioJitterBuffer, PayloadStartsAfterCsrcsAndExtension) {
  AudioJitterBuffer buffer(kCodecPcmu);
  auto packet = rtpPacket(1, {});
  packet[0] = 0x91;                                     // version 2, extension, one CSRC
  const std::vector<uint8_t> rest = {0,    0,    0, 9,  // CSRC
                                     0xBE, 0xDE, 0, 1,  // extension profile, one word
                                     1,    2,    3, 4,  // extension word
                                     0xAA, 0xBB};       // payload
  packet.insert(packet.end(), rest.begin(), rest.end());
  ASSERT_EQ(buffer.push(packet), AudioJitterBuffer::kTaken);
  EXPECT_EQ(buffer.heldBytes(), 2u);
}

TEST(AudioJitterBuffer, KeepsOnlyTheNewestBlocksWhenNobodyPops) {
  AudioJitterBuffer buffer(kCodecG726_16);  // 320-byte blocks
  uint16_t sequence = 1;
  for (int block = 0; block < 3 * int(AudioJitterBuffer::kMaxHeldBlocks); ++block) {
    // Two packets per block, the block number in every byte; the last one is half a block.
    buffer.push(rtpPacket(sequence++, bytesOf(160, uint8_t(block))));
    buffer.push(rtpPacket(sequence++, bytesOf(160, uint8_t(block))));
  }
  buffer.push(rtpPacket(sequence++, bytesOf(100, 0xEE)));
  EXPECT_LE(buffer.heldBytes(), AudioJitterBuffer::kMaxHeldBlocks * 320);
  EXPECT_EQ(buffer.heldBytes() % 320, 100u);
  ASSERT_GT(buffer.blockCount(), 0u);
  // Whole blocks went: the front is still the start of a block, one of the newest.
  EXPECT_EQ(buffer.frontBlock()[0], buffer.frontBlock()[319]);
  EXPECT_GE(buffer.frontBlock()[0], 3 * AudioJitterBuffer::kMaxHeldBlocks - buffer.blockCount());
}

TEST(AudioJitterBuffer, CodecSetsTheBlockSizeAndDropsBytesOfTheOldOne) {
  AudioJitterBuffer buffer(kCodecPcma);
  buffer.push(rtpPacket(1, bytesOf(700, 1)));
  buffer.setCodec(kCodecG726_24);
  EXPECT_EQ(buffer.codec(), kCodecG726_24);
  EXPECT_EQ(buffer.blockBytes(), 480u);
  EXPECT_EQ(buffer.heldBytes(), 0u);
  buffer.push(rtpPacket(2, bytesOf(480, 2)));
  buffer.setCodec(kCodecG726_24);  // the same codec keeps what is held
  buffer.setCodec(6);              // no such codec
  EXPECT_EQ(buffer.codec(), kCodecG726_24);
  EXPECT_EQ(buffer.blockCount(), 1u);
}

}  // namespace
}  // namespace vexa::audio
