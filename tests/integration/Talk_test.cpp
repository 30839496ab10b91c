// Talk against the simulated camera: a live-paced tone in each codec the camera serves, over both
// models that carry talk, reaches the camera's decoder while the camera's sound keeps playing.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "audio/TalkPackets.h"
#include "camera/RtspServer.h"
#include "camera/TalkReceiver.h"
#include "platform/AudioInput.h"
#include "platform/AudioOutput.h"
#include "session/IPCameraSite.h"
#include "support/Loopback.h"
#include "support/SitePictures.h"
#include "support/ToneAnalysis.h"

namespace vexa {
namespace {

using test::eventually;

// Slots of their own, far from the viewer's and the other suites'.
constexpr uint32_t kFirstTalkSlot = 51;
constexpr size_t kToneBuffers = 47;  // three seconds in whole buffers
constexpr size_t kToneSamples = kToneBuffers * audio::kTalkBufferSamples;
constexpr double kMinG711SnrDb = 25;
constexpr double kMinG726ToneShare = 0.9;
constexpr double kToneHz = 440;
constexpr double kToneBandHz = 10;
constexpr size_t kG726SettlingSamples = 1000;

struct ServedCodec {
  camera::AudioCodec camera;
  int32_t talk;  // the same codec as the site numbers it
};
constexpr ServedCodec kCodecs[] = {
    {camera::AudioCodec::Pcma, kAudioCodecPcma},       {camera::AudioCodec::Pcmu, kAudioCodecPcmu},
    {camera::AudioCodec::G726_16, kAudioCodecG726_16}, {camera::AudioCodec::G726_24, kAudioCodecG726_24},
    {camera::AudioCodec::G726_32, kAudioCodecG726_32}, {camera::AudioCodec::G726_40, kAudioCodecG726_40},
};

// One camera serving one codec, and a site talking to it from a live-paced microphone.
struct TalkingCamera {
  TalkingCamera(uint32_t model, const ServedCodec& codec, uint32_t slot,
                const std::vector<int16_t>& tone)
      : codec(codec),
        microphone({.pcm = test::littleEndianBytes(tone),
                    .chunkBytes = audio::kTalkBufferBytes,
                    .pace = &platform::SystemClock::instance()}) {
    auto [rtsp, mjpeg] = test::serverOptions({.width = 160, .height = 120, .fps = 5});
    rtsp.audio = codec.camera;
    server = std::make_unique<camera::RtspServer>(rtsp);
    started = server->start();
    StreamConfig config;
    config.model = model;
    config.host = "127.0.0.1";
    config.path = isH264Model(model) ? "/h264" : "/jpeg";
    config.rtspPort = server->port();
    site = std::make_unique<IPCameraSite>(config, slot, nullptr, speaker.factory(),
                                          microphone.factory());
    site->Play();
  }

  const ServedCodec codec;
  platform::ScriptedMicrophone microphone;
  platform::RecordingAudioOutput speaker;
  std::unique_ptr<camera::RtspServer> server;
  bool started = false;
  std::unique_ptr<IPCameraSite> site;
};

TEST(Talk, EveryServedCodecReachesTheCameraWhileItsSoundPlaysOn) {
  const std::vector<int16_t> tone = test::talkTone(kToneSamples, kToneHz, -6);
  for (const uint32_t model : {IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_H264,
                               IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_JPEG}) {
    SCOPED_TRACE("model " + std::to_string(model));
    // The six codecs at once: three live seconds instead of eighteen.
    std::vector<std::unique_ptr<TalkingCamera>> cameras;
    uint32_t slot = kFirstTalkSlot;
    for (const ServedCodec& codec : kCodecs) {
      cameras.push_back(std::make_unique<TalkingCamera>(model, codec, slot++, tone));
    }
    std::vector<size_t> heardBefore;
    for (auto& c : cameras) {
      ASSERT_TRUE(c->started) << c->server->lastError();
      ASSERT_TRUE(eventually([&] { return c->site->talkTarget().port != 0; }));
      EXPECT_EQ(c->site->talkTarget().codec, c->codec.talk);
      ASSERT_TRUE(eventually([&] { return !c->speaker.pcm().empty(); }));
      heardBefore.push_back(c->speaker.pcm().size());
      c->site->SetTalk(true);
    }
    for (size_t i = 0; i < cameras.size(); ++i) {
      TalkingCamera& c = *cameras[i];
      SCOPED_TRACE(std::string(audio::talkCodecName(c.codec.talk)));
      const camera::TalkReceiver& heard = *c.server->talk();
      ASSERT_TRUE(heard.waitForPackets(kToneBuffers, test::kGenerousWait));
      // Full duplex: the camera's own sound played on while talk ran.
      EXPECT_GT(c.speaker.pcm().size(), heardBefore[i]);
      const uint16_t fifthPort = c.site->config().fifthPort;
      c.site.reset();
      EXPECT_EQ(heard.counts().packets, kToneBuffers);
      EXPECT_EQ(heard.counts().gaps, 0u);
      ASSERT_TRUE(heard.sender());
      EXPECT_EQ(heard.sender()->port(), fifthPort);
      const std::vector<int16_t> pcm = heard.pcm();
      if (c.codec.talk == kAudioCodecPcma || c.codec.talk == kAudioCodecPcmu) {
        EXPECT_GE(test::alignedSnrDb(tone, pcm, audio::kTalkBufferSamples), kMinG711SnrDb);
      } else {
        EXPECT_GE(test::bandEnergyShare(pcm, kToneHz, kToneBandHz, kG726SettlingSamples),
                  kMinG726ToneShare);
      }
    }
  }
}

}  // namespace
}  // namespace vexa
