#include "audio/IPCameraAudioWaveIn.h"

#include <sys/socket.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/StreamConfig.h"
#include "platform/Thread.h"
#include "support/Datagrams.h"
#include "support/ToneAnalysis.h"

namespace vexa {
namespace {

using platform::ScriptedMicrophone;

constexpr size_t kBuffers = 6;

ScriptedMicrophone::Script toneScript(size_t chunkBytes = 333, bool repeat = false) {
  return {.pcm = test::littleEndianBytes(test::talkTone(kBuffers * audio::kTalkBufferSamples)), .chunkBytes = chunkBytes,
          .repeat = repeat};
}

std::vector<std::vector<uint8_t>> expectedPackets(int32_t codec, const std::vector<uint8_t>& pcm) {
  audio::TalkPacketizer packetizer;
  packetizer.start(codec);
  std::vector<std::vector<uint8_t>> packets;
  for (size_t at = 0; at + audio::kTalkBufferBytes <= pcm.size(); at += audio::kTalkBufferBytes) {
    packets.push_back(packetizer.packetFor(std::span(pcm).subspan(at, audio::kTalkBufferBytes)));
  }
  return packets;
}

// Waits without a deadline of its own: the suite's time-out ends a hang.
template <typename Condition>
void waitFor(Condition done) {
  while (!done()) platform::sleepMs(1);
}

struct TalkRig {
  explicit TalkRig(ScriptedMicrophone::Script script, TalkTarget target, std::string host = "127.0.0.1",
                   uint16_t localPort = 0, std::string brand = {})
      : microphone(std::move(script)),
        talk({std::move(host), localPort, std::move(brand)}, microphone.factory(), &dialogs,
             [target] { return target; }) {}

  ScriptedMicrophone microphone;
  platform::RecordingDialogs dialogs;
  IPCameraAudioWaveIn talk;
};

TEST(IPCameraAudioWaveIn, SendsEachBufferFromTheFifthPortAndStartsAgainFromZero) {
  test::UdpEnd camera;
  const uint16_t fifthPort = test::UdpEnd().port();  // free again once the end is gone
  std::vector<uint8_t> observed;
  TalkRig rig(toneScript(), {camera.port(), kAudioCodecG726_32}, "localhost", fifthPort);
  rig.talk.setBufferObserver(
      [&](std::span<const uint8_t> pcm) { observed.insert(observed.end(), pcm.begin(), pcm.end()); });
  const std::vector<std::vector<uint8_t>> expected =
      expectedPackets(kAudioCodecG726_32, toneScript().pcm);
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    rig.talk.post(IPCameraAudioWaveIn::kStartTalk);
    rig.talk.post(IPCameraAudioWaveIn::kStartTalk);  // already running: ignored
    for (const std::vector<uint8_t>& packet : expected) {
      const auto got = camera.receive();
      ASSERT_TRUE(got);
      EXPECT_EQ(got->bytes, packet);
      EXPECT_EQ(got->fromPort, fifthPort);
    }
    rig.talk.post(IPCameraAudioWaveIn::kStopTalk);
    waitFor([&] { return !rig.talk.running(); });
  }
  rig.talk.quit();
  EXPECT_EQ(rig.microphone.opens(), 2u);
  EXPECT_EQ(observed.size(), 2 * toneScript().pcm.size());
  EXPECT_EQ(rig.talk.figures().packets, 2 * expected.size());
  EXPECT_EQ(rig.talk.figures().destination, "127.0.0.1:" + std::to_string(camera.port()));
  EXPECT_TRUE(rig.dialogs.messages().empty());
}

// Whatever keeps talk from reaching the camera, talk stays on and nothing is sent.
TEST(IPCameraAudioWaveIn, SendsNothingWithoutACodecAPortOrItsOwnPort) {
  test::UdpEnd camera;
  test::UdpEnd fifthPortTaken;  // bound without address reuse: talk's bind fails
  const struct {
    const char* name;
    TalkTarget target;
    uint16_t localPort;
  } cases[] = {
      {"no codec described", {camera.port(), -1}, 0},
      {"codec beyond the table", {camera.port(), 6}, 0},
      {"no talk port described", {0, kAudioCodecPcmu}, 0},
      {"fifth port taken", {camera.port(), kAudioCodecPcmu}, fifthPortTaken.port()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TalkRig rig(toneScript(1024, /*repeat=*/true), c.target, "127.0.0.1", c.localPort);
    rig.talk.post(IPCameraAudioWaveIn::kStartTalk);
    waitFor([&] { return rig.microphone.deliveredBytes() > 0; });
    // A descriptor the failed socket freed goes to the next file opened: a send on the old
    // number would arrive at the pair's other end.
    int pairEnds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0, pairEnds), 0);
    const size_t before = rig.microphone.deliveredBytes();
    waitFor([&] { return rig.microphone.deliveredBytes() > before + 4 * audio::kTalkBufferBytes; });
    EXPECT_TRUE(rig.talk.running());
    rig.talk.quit();
    uint8_t byte = 0;
    EXPECT_EQ(::recv(pairEnds[1], &byte, 1, 0), -1);
    ::close(pairEnds[0]);
    ::close(pairEnds[1]);
    EXPECT_FALSE(camera.receive(std::chrono::milliseconds(0)));
    EXPECT_EQ(rig.talk.figures().packets, 0u);
  }
}

TEST(IPCameraAudioWaveIn, WithoutAMicrophoneSaysSoOnceAndStaysOff) {
  const std::string longError(300, 'e');
  const struct {
    const char* brand;
    std::string expected;
  } cases[] = {
      {"VAD", IPCameraAudioWaveIn::kConnectMicrophone},
      {"OTHER", longError.substr(0, IPCameraAudioWaveIn::kMaxErrorText)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.brand);
    TalkRig rig(toneScript(), {1, kAudioCodecPcmu}, "127.0.0.1", 0, c.brand);
    rig.microphone.refuse(longError);
    rig.talk.post(IPCameraAudioWaveIn::kStartTalk);
    rig.talk.quit();
    const auto messages = rig.dialogs.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, c.expected);
    EXPECT_EQ(messages[0].caption, IPCameraAudioWaveIn::kCaption);
    EXPECT_FALSE(rig.talk.running());
  }
}

TEST(IPCameraAudioWaveIn, NothingIsSentOnceStopReturnsThoughTheDeviceKeptDelivering) {
  test::UdpEnd camera;
  TalkRig rig(toneScript(1000, /*repeat=*/true), {camera.port(), kAudioCodecPcma});
  rig.talk.post(IPCameraAudioWaveIn::kStartTalk);
  waitFor([&] { return rig.talk.figures().packets >= 20; });
  rig.talk.quit();
  const uint64_t sent = rig.talk.figures().packets;
  uint64_t arrived = 0;
  while (camera.receive(std::chrono::milliseconds(50))) ++arrived;
  EXPECT_EQ(rig.talk.figures().packets, sent);
  EXPECT_LE(arrived, sent);
}

}  // namespace
}  // namespace vexa
