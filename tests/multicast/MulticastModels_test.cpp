// The multicast models against a sender of the camera's group, inside a network namespace that
// holds only loopback (tests/multicast/in_namespace.sh): the site asks for the descriptions, joins
// the group they name and shows the pictures sent to it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <thread>

#include "camera/MulticastTransport.h"
#include "camera/PictureGenerator.h"
#include "camera/RtpStream.h"
#include "camera/VideoSource.h"
#include "common/VideoModel.h"
#include "media/H264Decoder.h"
#include "media/VideoDecoderSet.h"
#include "platform/Thread.h"
#include "protocol/rtsp/ScriptedCamera.h"
#include "session/IPCameraSite.h"
#include "support/Picture.h"
#include "support/SitePictures.h"

namespace vexa {
namespace {

using test::eventually;

constexpr int kWidth = 160;
constexpr int kHeight = 120;
constexpr int kFps = 25;
constexpr uint32_t kCandidateFrames = 40 * kFps;
constexpr uint32_t kSlot = 43;
constexpr char kGroup[] = "239.255.12.1";
constexpr uint16_t kVideoPort = 15000;

// The camera's pictures in one codec, sent to the group from a thread, a picture every 1/fps s.
class GroupSender {
 public:
  GroupSender(camera::VideoCodec codec, uint8_t payloadType) {
    camera::VideoSourceSettings settings;
    settings.codec = codec;
    settings.width = kWidth;
    settings.height = kHeight;
    settings.fps = kFps;
    settings.jpegQuality = 90;
    settings.keyFrameInterval = kFps;
    settings.maxPayloadSize = 1400;
    settings.mpeg4ConfigInBand = true;  // the viewer has no config= to start from
    source_ = camera::makeVideoSource(settings);
    auto transport = camera::MulticastTransport::open(kGroup, kVideoPort);
    if (!source_ || !transport) return;
    stream_ = std::make_unique<camera::RtpStream>(payloadType, camera::kVideoClockRate,
                                                  std::move(transport), camera::RtpStreamIdentity{});
    thread_ = std::thread([this] { send(); });
  }
  ~GroupSender() {
    running_ = false;
    if (thread_.joinable()) thread_.join();
  }
  bool sending() const { return thread_.joinable(); }

 private:
  void send() {
    for (uint32_t picture = 0; running_; ++picture) {
      const auto payloads = source_->payloadsOf(picture);
      for (size_t i = 0; i < payloads.size(); ++i) {
        stream_->sendPacket(payloads[i], i + 1 == payloads.size(),
                            picture * (camera::kVideoClockRate / kFps));
      }
      platform::sleepMs(1000 / kFps);
    }
  }

  std::unique_ptr<camera::VideoSource> source_;
  std::unique_ptr<camera::RtpStream> stream_;
  std::atomic<bool> running_{true};
  std::thread thread_;
};

double psnrToClosestFrame(const std::vector<uint8_t>& bottomUp) {
  return test::psnrToClosestFrame(bottomUp, kWidth, kHeight, kCandidateFrames);
}

TEST(MulticastModels, EachPlaysTheGroupItsDescriptionsName) {
  if (std::getenv("VEXA_IN_NETNS") == nullptr) {
    GTEST_SKIP() << "runs only inside a network namespace (tests/multicast/in_namespace.sh)";
  }
  const auto h264 = VideoDecoderSet::openH264();
  ASSERT_NE(h264, nullptr);
  const struct {
    uint32_t model;
    camera::VideoCodec codec;
    uint8_t payloadType;  // the type the handler's inserted rtpmap gives
    const char* connection;
  } cases[] = {
      {IPCAMERA_VIDEO_MODEL_MULTICAST_JPEG, camera::VideoCodec::Jpeg, 26, "session"},
      {IPCAMERA_VIDEO_MODEL_MULTICAST_H264, camera::VideoCodec::H264, 99, "media"},
      {IPCAMERA_VIDEO_MODEL_MULTICAST_MPEG4, camera::VideoCodec::Mpeg4, 96, "session"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("model " + std::to_string(c.model));
    GroupSender sender(c.codec, c.payloadType);
    ASSERT_TRUE(sender.sending());
    test::ScriptedCamera camera;
    StreamConfig config;
    config.model = c.model;
    config.host = "127.0.0.1";
    config.path = "/live";
    config.rtspPort = camera.server.port();
    IPCameraSite site(config, kSlot);
    site.setH264Decoder(h264.get());
    ASSERT_TRUE(site.Play());
    ASSERT_TRUE(camera.server.accept());
    EXPECT_NE(camera.request().find("DESCRIBE rtsp://"), std::string::npos);
    // A camera of this kind names neither rtpmap nor, here, the audio.
    const std::string groupLine = std::string("c=IN IP4 ") + kGroup + "/0\r\n";
    const bool sessionLevel = std::string(c.connection) == "session";
    camera.send(test::describeAnswer(
        "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=live\r\n" + (sessionLevel ? groupLine : "") +
        "t=0 0\r\nm=video " + std::to_string(kVideoPort) + " RTP/AVP " +
        std::to_string(c.payloadType) + "\r\n" + (sessionLevel ? "" : groupLine) +
        "b=AS:800\r\na=control:track1\r\n"));
    EXPECT_NE(camera.request().find("/audio RTSP/1.0\r\nCSeq: 1\r\n"), std::string::npos);
    camera.send("RTSP/1.0 404 Not Found\r\nCSeq: 1\r\n\r\n");
    ASSERT_TRUE(eventually([&] { return site.GetFrameNumber() >= 3; }));
    const std::vector<uint8_t> picture = test::takePicture(site, kWidth, kHeight);
    ASSERT_FALSE(picture.empty());
    EXPECT_GE(psnrToClosestFrame(picture), 30.0);
    site.Stop();
  }
}

}  // namespace
}  // namespace vexa
