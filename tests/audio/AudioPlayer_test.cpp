#include "audio/AudioPlayer.h"

#include <gtest/gtest.h>

#include "AudioTestSupport.h"

namespace vexa::audio {
namespace {

const std::vector<uint8_t> kALawBlock(kBlockSamples, 0xD5);

struct AudioPlayerTest : ::testing::Test {
  platform::RecordingAudioOutput device;
  AudioPlayer player{device.factory()};
};

TEST_F(AudioPlayerTest, RefusesBlocksOfTheWrongSizeOrCodec) {
  EXPECT_FALSE(player.play(std::vector<uint8_t>(639, 0), kCodecG726_32));
  EXPECT_FALSE(player.play(std::vector<uint8_t>(641, 0), kCodecG726_32));
  EXPECT_FALSE(player.play(kALawBlock, 6));
  device.setRefusing(true);
  EXPECT_FALSE(player.play(kALawBlock, kCodecPcma));
  EXPECT_EQ(device.queueCount(), 0u);
}

TEST_F(AudioPlayerTest, LetsAtMostFourBlocksWaitInTheDevice) {
  for (const auto& [queued, played] : {std::pair{3 * kDecodedBlockBytes, true},
                                       {3 * kDecodedBlockBytes + 1, false},
                                       {4 * kDecodedBlockBytes, false}}) {
    device.setQueuedBytes(queued);
    EXPECT_EQ(player.play(kALawBlock, kCodecPcma), played) << queued;
  }
  EXPECT_EQ(device.queueCount(), 1u);
}

TEST_F(AudioPlayerTest, G726StateFollowsTheStreamEvenThroughADroppedBlock) {
  const auto bytes = test::g726Encode(4, test::testSignal(3 * kBlockSamples, 9000));
  const auto samples = test::g726Decode(4, bytes);  // in one go
  ASSERT_EQ(samples.size(), 3 * kBlockSamples);

  const size_t block = encodedBlockBytes(kCodecG726_32);
  ASSERT_TRUE(player.play(std::span(bytes).first(block), kCodecG726_32));
  device.setQueuedBytes(4 * kDecodedBlockBytes);
  EXPECT_FALSE(player.play(std::span(bytes).subspan(block, block), kCodecG726_32));
  device.setQueuedBytes(0);
  ASSERT_TRUE(player.play(std::span(bytes).subspan(2 * block), kCodecG726_32));

  EXPECT_EQ(
      device.pcm(),
      rtp::test::concat({test::pcmBytes({samples.begin(), samples.begin() + kBlockSamples}),
                         test::pcmBytes({samples.begin() + 2 * kBlockSamples, samples.end()})}));
}

TEST_F(AudioPlayerTest, RateChangeStartsTheG726StateAfresh) {
  const auto signal = test::testSignal(kBlockSamples, 9000);
  const auto bytes32 = test::g726Encode(4, signal);
  ASSERT_TRUE(player.play(test::g726Encode(3, signal), kCodecG726_24));
  ASSERT_TRUE(player.play(bytes32, kCodecG726_32));
  const auto pcm = device.pcm();
  EXPECT_EQ(std::vector<uint8_t>(pcm.begin() + kDecodedBlockBytes, pcm.end()),
            test::pcmBytes(test::g726Decode(4, bytes32)));
}

}  // namespace
}  // namespace vexa::audio
