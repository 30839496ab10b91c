// MPEG-4 from RTP packets to the display's picture on both roads: the UDP media manager and the
// interleaved video path, each with its play thread, as the site reads them.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/VideoModel.h"
#include "media/Mpeg4PacketAssembler.h"
#include "media/rtp/Mpeg4ContractFormat.h"
#include "protocol/rtp/IPCameraMediaManager.h"
#include "support/Codecs.h"
#include "support/RtpPackets.h"

namespace vexa {
namespace {

using rtp::test::Bytes;

constexpr int kWidth = 32;
constexpr int kHeight = 16;
constexpr size_t kPacketsPerPicture = 3;

// One road's video path: packets in, its play thread, and the picture as the site takes it.
struct RoadUnderTest {
  std::function<void(const StreamConfig&)> configure;
  std::function<void(const Bytes&)> push;
  std::function<Mpeg4PlayThread&()> play;
  std::function<int32_t(uint8_t*, int32_t*, BITMAPINFOHEADER*)> getFrame;
  std::function<void()> stop;
};

struct RoadCase {
  std::string name;
  std::function<std::unique_ptr<RoadUnderTest>()> make;
  // With the second packet of picture 1 lost, the pictures that are decoded.
  std::vector<size_t> decodedPictures;
};

std::unique_ptr<RoadUnderTest> udpRoad() {
  auto manager = std::make_shared<IPCameraMediaManager>(IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_MPEG4);
  return std::make_unique<RoadUnderTest>(
      RoadUnderTest{[manager](const StreamConfig& config) { manager->configure(config); },
                    [manager](const Bytes& packet) { manager->processDatagram(packet); },
                    [manager]() -> Mpeg4PlayThread& { return *manager->playThread(); },
                    [manager](uint8_t* image, int32_t* size, BITMAPINFOHEADER* info) {
                      return manager->GetMpeg4Frame(image, size, info);
                    },
                    [manager] { manager->stop(); }});
}

std::unique_ptr<RoadUnderTest> interleavedRoad() {
  auto path = std::make_shared<Mpeg4PacketAssembler>();
  path->beginSession();
  return std::make_unique<RoadUnderTest>(
      RoadUnderTest{[path](const StreamConfig& config) { path->configure(config); },
                    [path](const Bytes& packet) { path->onPacket(packet); },
                    [path]() -> Mpeg4PlayThread& { return path->playThread(); },
                    [path](uint8_t* image, int32_t* size, BITMAPINFOHEADER* info) {
                      return path->playThread().GetMpeg4Frame(image, size, info);
                    },
                    [path] { path->stop(); }});
}

TEST(Mpeg4Roads, PicturesReachTheDisplayAndEachRoadComesBackFromLossItsWay) {
  if (avcodec_find_encoder(AV_CODEC_ID_MPEG4) == nullptr) GTEST_SKIP() << "no MPEG-4 encoder";
  const auto encoder = test::makeMpeg4Encoder(kWidth, kHeight, true);
  std::vector<Bytes> pictures;  // I P P I P
  for (int i = 0; i < 5; ++i) {
    pictures.push_back(encoder->encode(test::makeYuv(
        kWidth, kHeight,
        [&](int x, int y) {
          return test::Rgb{x * 8, y * 16, 50 * i};
        },
        false)));
  }
  StreamConfig config;
  const Bytes configuration = encoder->extradata();
  std::copy(configuration.begin(), configuration.end(), config.mpeg4Config.begin());
  config.mpeg4ConfigLength = uint32_t(configuration.size());

  const std::vector<RoadCase> cases = {
      // UDP waits for the intra picture 3; interleaved only loses picture 1.
      {"UDP", udpRoad, {0, 3, 4}},
      {"interleaved", interleavedRoad, {0, 2, 3, 4}},
  };
  for (const RoadCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::unique_ptr<RoadUnderTest> road = c.make();
    road->configure(config);
    uint16_t sequence = 100;
    for (size_t i = 0; i < pictures.size(); ++i) {
      const std::vector<Bytes> payloads = rtp::test::mpeg4Payloads(
          pictures[i], {pictures[i].size() / 3, 2 * pictures[i].size() / 3});
      for (size_t k = 0; k < kPacketsPerPicture; ++k, ++sequence) {
        if (i == 1 && k == 1) continue;
        road->push(rtp::test::rtpPacket(rtp::kMpeg4PayloadType, k + 1 == kPacketsPerPicture,
                                        sequence, uint32_t(3000 * i), payloads[k]));
      }
    }
    // What the thread left is played here, so the count is final.
    road->stop();
    while (road->play().playNext()) {
    }
    EXPECT_EQ(road->play().pictureCounter().load(), c.decodedPictures.size());

    std::vector<uint8_t> image(kDisplayPictureBytes);
    int32_t size = int32_t(image.size());
    BITMAPINFOHEADER info{};
    EXPECT_EQ(road->getFrame(image.data(), &size, &info), int32_t(c.decodedPictures.size()));
    EXPECT_EQ(std::tuple(info.biWidth, info.biHeight, size),
              std::tuple(kWidth, kHeight, kWidth * kHeight * 3));
  }
}

}  // namespace
}  // namespace vexa
