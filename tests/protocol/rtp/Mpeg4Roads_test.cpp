// MPEG-4 from RTP packets to the display's picture on both roads: the UDP media manager and the
// interleaved video path, each with its play thread.
#include <gtest/gtest.h>

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

void push(IPCameraMediaManager& road, const Bytes& packet) {
  road.processDatagram(packet);
}
void push(Mpeg4PacketAssembler& road, const Bytes& packet) {
  road.onPacket(packet);
}

// The pictures in three packets each, the second one of picture 1 lost; then what the play
// thread left is played on this thread, so the count is final.
template <typename Road>
uint32_t playThrough(Road& road, Mpeg4PlayThread& play, const std::vector<Bytes>& pictures) {
  uint16_t sequence = 100;
  for (size_t i = 0; i < pictures.size(); ++i) {
    const Bytes& picture = pictures[i];
    const std::vector<Bytes> payloads =
        rtp::test::mpeg4Payloads(picture, {picture.size() / 3, 2 * picture.size() / 3});
    for (size_t k = 0; k < kPacketsPerPicture; ++k, ++sequence) {
      if (i == 1 && k == 1) continue;
      push(road, rtp::test::rtpPacket(rtp::kMpeg4PayloadType, k + 1 == kPacketsPerPicture, sequence,
                                      uint32_t(3000 * i), payloads[k]));
    }
  }
  road.stop();
  while (play.playNext()) {
  }
  return play.pictureCounter().load();
}

TEST(Mpeg4Roads, PicturesReachTheDisplayAndEachRoadComesBackFromLossItsWay) {
  if (avcodec_find_encoder(AV_CODEC_ID_MPEG4) == nullptr) GTEST_SKIP() << "no MPEG-4 encoder";
  const auto encoder = test::makeMpeg4Encoder(kWidth, kHeight, true);
  std::vector<Bytes> pictures;  // I P P I P
  for (int i = 0; i < 5; ++i) {
    const auto colour = [&](int x, int y) { return test::Rgb{x * 8, y * 16, 50 * i}; };
    pictures.push_back(encoder->encode(test::makeYuv(kWidth, kHeight, colour, false)));
  }
  StreamConfig config;
  const Bytes configuration = encoder->extradata();
  std::copy(configuration.begin(), configuration.end(), config.mpeg4Config.begin());
  config.mpeg4ConfigLength = uint32_t(configuration.size());

  // UDP waits for the intra picture 3; the interleaved road loses only picture 1.
  IPCameraMediaManager udp(IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_MPEG4);
  udp.configure(config);
  EXPECT_EQ(playThrough(udp, *udp.playThread(), pictures), 3u);
  Mpeg4PacketAssembler interleaved;
  interleaved.configure(config);
  EXPECT_EQ(playThrough(interleaved, interleaved.playThread(), pictures), 4u);

  // The site takes the UDP road's picture through its manager.
  std::vector<uint8_t> image(kDisplayPictureBytes);
  int32_t size = int32_t(image.size());
  BITMAPINFOHEADER info{};
  EXPECT_EQ(udp.GetMpeg4Frame(image.data(), &size, &info), 3);
  EXPECT_EQ(std::tuple(info.biWidth, info.biHeight, size),
            std::tuple(kWidth, kHeight, kWidth * kHeight * 3));
  EXPECT_EQ(&udp.imageLock(), &udp.playThread()->pictureLock());
}

}  // namespace
}  // namespace vexa
