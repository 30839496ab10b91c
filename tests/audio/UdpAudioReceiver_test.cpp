#include "audio/UdpAudioReceiver.h"

#include <gtest/gtest.h>

#include "AudioTestSupport.h"
#include "audio/G711.h"
#include "audio/G726.h"
#include "common/StreamConfig.h"
#include "support/Datagrams.h"
#include "support/Loopback.h"

namespace vexa::audio {
namespace {

using test::eventually;
using test::rtpPacket;

struct UdpAudioReceiverTest : ::testing::Test {
  void startOn(int32_t audioCodec) {
    ASSERT_EQ(receiver.start(port, audioCodec), platform::kStarted);
    ASSERT_TRUE(eventually([&] { return receiver.listening(); }));
  }
  void send(const std::vector<uint8_t>& payload) {
    ASSERT_TRUE(sender.send(rtpPacket(sequence++, payload)));
  }

  platform::RecordingAudioOutput device;
  UdpAudioReceiver receiver{device.factory()};
  uint16_t port = test::freeUdpPort();
  test::DatagramSender sender{port};
  uint16_t sequence = 7;
};

TEST_F(UdpAudioReceiverTest, PlaysDatagramsInTheConfiguredCodec) {
  startOn(vexa::kAudioCodecPcmu);  // StreamConfig's 1: µ-law
  send(std::vector<uint8_t>(800, 0x00));
  send(std::vector<uint8_t>(480, 0x00));
  ASSERT_TRUE(eventually([&] { return device.queueCount() == 1; }));
  EXPECT_EQ(receiver.codec(), kCodecPcmu);
  EXPECT_EQ(device.pcm(), test::pcmBytes(std::vector<int16_t>(kBlockSamples, -32124)));
  EXPECT_EQ(receiver.takeReceivedBytes(), 812u + 492u);
  EXPECT_EQ(receiver.figures().lastSequence, 8);
  receiver.stop();
  EXPECT_FALSE(receiver.running());
}

TEST_F(UdpAudioReceiverTest, CodecNamedByTheDescriptionBeforeTheFirstDatagramIsUsed) {
  startOn(vexa::kAudioCodecPcma);
  receiver.setConfiguredCodec(vexa::kAudioCodecG726_32);
  const auto signal = test::testSignal(kBlockSamples, 6000);
  G726Encoder encoder(4);
  std::vector<uint8_t> block(encodedBlockBytes(kCodecG726_32));
  ASSERT_EQ(encoder.encode(signal, block), block.size());
  send({block.begin(), block.begin() + 300});
  send({block.begin() + 300, block.end()});
  ASSERT_TRUE(eventually([&] { return device.queueCount() == 1; }));
  EXPECT_EQ(receiver.codec(), kCodecG726_32);
  G726Decoder decoder(4);
  std::vector<int16_t> samples(kBlockSamples);
  ASSERT_EQ(decoder.decode(block, samples), kBlockSamples);
  EXPECT_EQ(device.pcm(), test::pcmBytes(samples));
}

TEST_F(UdpAudioReceiverTest, MutedReceiverConsumesWithoutPlaying) {
  receiver.setAudioOn(false);
  startOn(0);  // StreamConfig's 0 (and anything unknown): A-law
  send(std::vector<uint8_t>(kBlockSamples, 0xD5));
  ASSERT_TRUE(eventually([&] { return receiver.path().blocksDiscarded() == 1; }));
  receiver.setAudioOn(true);
  send(std::vector<uint8_t>(kBlockSamples, 0x55));
  ASSERT_TRUE(eventually([&] { return device.queueCount() == 1; }));
  EXPECT_EQ(receiver.codec(), kCodecPcma);
  EXPECT_EQ(device.pcm(), test::pcmBytes(std::vector<int16_t>(kBlockSamples, -8)));
}

}  // namespace
}  // namespace vexa::audio
