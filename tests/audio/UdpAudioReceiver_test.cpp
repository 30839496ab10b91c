#include "audio/UdpAudioReceiver.h"

#include <gtest/gtest.h>

#include "AudioTestSupport.h"
#include "common/StreamConfig.h"
#include "support/Datagrams.h"
#include "support/Loopback.h"

namespace vexa::audio {
namespace {

using test::eventually;
using test::rtpPacket;

// A receiver on a free loopback port, a sender to it and the device it plays into.
struct LoopbackReceiver {
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

// The codec the description names before the first datagram wins over the start's;
// StreamConfig's 0 and unknown numbers are A-law, its 1 µ-law.
TEST(UdpAudioReceiver, PlaysInTheCodecLastConfiguredBeforeTheFirstDatagram) {
  const struct {
    int32_t started, described;
    uint8_t codec;
  } cases[] = {{vexa::kAudioCodecPcmu, vexa::kAudioCodecPcmu, kCodecPcmu},
               {vexa::kAudioCodecPcma, vexa::kAudioCodecG726_32, kCodecG726_32},
               {vexa::kAudioCodecPcma, vexa::kAudioCodecPcma, kCodecPcma},
               {9, 9, kCodecPcma}};
  for (const auto& c : cases) {
    LoopbackReceiver run;
    run.startOn(c.started);
    run.receiver.setConfiguredCodec(c.described);
    run.send(std::vector<uint8_t>(encodedBlockBytes(c.codec), 0x55));
    ASSERT_TRUE(eventually([&] { return run.device.queueCount() == 1; })) << c.described;
    EXPECT_EQ(run.receiver.codec(), c.codec) << c.described;
  }
}

}  // namespace
}  // namespace vexa::audio
