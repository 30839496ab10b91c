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

// The codec the description names (if any) before the first datagram wins over the start's;
// StreamConfig's 0 and unknown numbers are A-law, its 1 µ-law.
TEST(UdpAudioReceiver, PlaysInTheCodecLastConfiguredBeforeTheFirstDatagram) {
  constexpr int32_t kNotDescribed = -1;
  const struct {
    int32_t started, described;
    uint8_t codec;
  } cases[] = {{vexa::kAudioCodecPcmu, kNotDescribed, kCodecPcmu},
               {vexa::kAudioCodecPcma, vexa::kAudioCodecG726_32, kCodecG726_32},
               {vexa::kAudioCodecPcma, vexa::kAudioCodecPcma, kCodecPcma},
               {9, 9, kCodecPcma}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.described);
    platform::RecordingAudioOutput device;
    UdpAudioReceiver receiver{device.factory()};
    const uint16_t port = test::freeUdpPort();
    ASSERT_EQ(receiver.start(port, c.started), platform::kStarted);
    ASSERT_TRUE(eventually([&] { return receiver.listening(); }));
    if (c.described != kNotDescribed) receiver.setConfiguredCodec(c.described);
    const std::vector<uint8_t> block(encodedBlockBytes(c.codec), 0x55);
    ASSERT_TRUE(test::DatagramSender(port).send(rtpPacket(7, block)));
    ASSERT_TRUE(eventually([&] { return device.queueCount() == 1; }));
    EXPECT_EQ(receiver.codec(), c.codec);
  }
}

}  // namespace
}  // namespace vexa::audio
