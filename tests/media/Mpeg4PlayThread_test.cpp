// The MPEG-4 play step on pictures libavcodec's encoder made: which pictures it plays, what it
// puts in front of them, and the picture it keeps, checked against libavcodec's own decode.
#include "media/Mpeg4PlayThread.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "common/StreamConfig.h"
#include "platform/Dialogs.h"
#include "support/Codecs.h"
#include "support/RtpPackets.h"

namespace vexa {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kWidth = 48;
constexpr int kHeight = 32;
constexpr double kMinPsnr = 30.0;
const Bytes kGarbage = {0x12, 0x00, 0x00, 0x02, 0x00, 0x01};

// Pictures I P P I P P, each a different gradient, with their stream headers.
struct EncodedStream {
  Bytes configuration;  // empty when the headers are in front of each intra picture
  std::vector<Bytes> pictures;
};

EncodedStream encodeStream(bool globalHeader, int width = kWidth, int height = kHeight) {
  const auto encoder = test::makeMpeg4Encoder(width, height, globalHeader);
  EncodedStream stream{encoder->extradata(), {}};
  for (int i = 0; i < 6; ++i) {
    const auto colour = [&](int x, int y) { return test::Rgb{x * 5, y * 7, 40 * i}; };
    stream.pictures.push_back(encoder->encode(test::makeYuv(width, height, colour, false)));
  }
  return stream;
}

StreamConfig configWith(const Bytes& configuration) {
  StreamConfig config;
  std::copy(configuration.begin(), configuration.end(), config.mpeg4Config.begin());
  config.mpeg4ConfigLength = uint32_t(configuration.size());
  return config;
}

// libavcodec's own decode of the units in order, its last picture in top-down BGR.
test::DecodedImage referenceDecode(const std::vector<Bytes>& units) {
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MPEG4);
  AVCodecContext* context = avcodec_alloc_context3(codec);
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  test::DecodedImage image;
  if (avcodec_open2(context, codec, nullptr) == 0) {
    for (const Bytes& unit : units) {
      if (av_new_packet(packet, int(unit.size())) != 0) break;
      std::copy(unit.begin(), unit.end(), packet->data);
      avcodec_send_packet(context, packet);
      av_packet_unref(packet);
      while (avcodec_receive_frame(context, frame) == 0) {
        image = {frame->width, frame->height, Bytes(size_t(frame->width) * frame->height * 3)};
        test::yuv420ToBgr(*frame, frame->color_range == AVCOL_RANGE_JPEG, image.bgr.data());
      }
    }
  }
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&context);
  return image;
}

// Of a bottom-up picture against a top-down one of the same size.
double psnrAgainst(const Bytes& bottomUp, const test::DecodedImage& topDown) {
  const size_t rowBytes = size_t(topDown.width) * 3;
  double squares = 0;
  for (int row = 0; row < topDown.height; ++row) {
    const uint8_t* ours = bottomUp.data() + size_t(topDown.height - 1 - row) * rowBytes;
    const uint8_t* theirs = topDown.bgr.data() + size_t(row) * rowBytes;
    for (size_t i = 0; i < rowBytes; ++i) squares += std::pow(ours[i] - theirs[i], 2);
  }
  const double mean = squares / double(topDown.bgr.size());
  return mean == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mean);
}

// The play step without its thread.
struct Player {
  platform::RecordingDialogs dialogs;
  Mpeg4PlayThread play{&dialogs};

  explicit Player(const Bytes& configuration) { play.configure(configWith(configuration)); }
  void feed(const std::vector<Bytes>& pictures) {
    for (const Bytes& picture : pictures) {
      play.handOff(picture);
      while (play.playNext()) {
      }
    }
  }
  Bytes picture() {
    BITMAPINFOHEADER info{};
    Bytes out(kDisplayPictureBytes);
    int32_t size = int32_t(out.size());
    if (play.GetMpeg4Frame(out.data(), &size, &info) < 0) return {};
    out.resize(size_t(size));
    return out;
  }
};

class Mpeg4PlayThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (avcodec_find_encoder(AV_CODEC_ID_MPEG4) == nullptr) GTEST_SKIP() << "no MPEG-4 encoder";
  }
};

struct PlayCase {
  std::string name;
  bool globalHeader;
  bool storeConfiguration;
  bool garbageInFront;
  std::vector<size_t> fed;      // pictures of the stream, in order
  std::vector<size_t> decoded;  // the ones that must come out
};

TEST_F(Mpeg4PlayThreadTest, PlaysFromTheFirstIntraPictureWithItsConfigurationAndDropsWhatIsNotOne) {
  const std::vector<PlayCase> cases = {
      {"P pictures first, then intra with the stored configuration in front",
       true,
       true,
       false,
       {1, 2, 3, 4},
       {3, 4}},
      {"garbage before the first start code is removed", true, true, true, {0, 1}, {0, 1}},
      {"configuration and group header in front of each intra picture",
       false,
       false,
       false,
       {0, 1, 2, 3},
       {0, 1, 2, 3}},
      {"an intra picture with no configuration anywhere shows nothing",
       true,
       false,
       false,
       {0, 1},
       {}},
  };
  for (const PlayCase& c : cases) {
    SCOPED_TRACE(c.name);
    const EncodedStream stream = encodeStream(c.globalHeader);
    Player player(c.storeConfiguration ? stream.configuration : Bytes{});
    for (size_t i : c.fed)
      player.feed({rtp::test::concat({c.garbageInFront ? kGarbage : Bytes{}, stream.pictures[i]})});
    EXPECT_EQ(player.play.pictureCounter().load(), c.decoded.size());
    if (c.decoded.empty()) continue;
    // libavcodec's own decode of the same pictures, the configuration in front of the first.
    std::vector<Bytes> reference;
    for (size_t i : c.decoded) reference.push_back(stream.pictures[i]);
    reference.front() = rtp::test::concat({stream.configuration, reference.front()});
    const test::DecodedImage expected = referenceDecode(reference);
    const Bytes picture = player.picture();
    ASSERT_EQ(picture.size(), expected.bgr.size());
    EXPECT_GE(psnrAgainst(picture, expected), kMinPsnr);
  }
}

TEST_F(Mpeg4PlayThreadTest, ACorruptPictureKeepsTheCountAndThePreviousPicture) {
  const EncodedStream stream = encodeStream(true);
  Player player(stream.configuration);
  player.feed({stream.pictures[0]});
  const Bytes before = player.picture();
  // Zeros where the macroblocks should be, or the picture cut short; a P and an I picture.
  const auto zeroed = [](Bytes picture) {
    std::fill(picture.begin() + 8, picture.end(), 0x00);
    return picture;
  };
  const auto halved = [](Bytes picture) {
    picture.resize(picture.size() / 2);
    return picture;
  };
  player.feed({zeroed(stream.pictures[1]), halved(stream.pictures[1]), zeroed(stream.pictures[3]),
               halved(stream.pictures[3])});
  EXPECT_EQ(player.play.pictureCounter().load(), 1u);
  EXPECT_EQ(player.picture(), before);
}

TEST_F(Mpeg4PlayThreadTest, RefusesPicturesLargerThanTheDisplayOnceAndKeepsTheFirstSizeShown) {
  const EncodedStream wide = encodeStream(false, kMaxDisplayWidth + 16, 16);
  Player player({});
  player.feed({wide.pictures[0], wide.pictures[3]});
  EXPECT_EQ(player.play.pictureCounter().load(), 0u);
  const auto messages = player.dialogs.messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "MPEG-4 picture 2064 x 16 is larger than 2048 x 1536");
  EXPECT_EQ(messages[0].caption, "ERROR");

  player.feed({encodeStream(false).pictures[0], encodeStream(false, 64, 32).pictures[0]});
  BITMAPINFOHEADER info{};
  EXPECT_EQ(player.play.GetMpeg4Frame(nullptr, nullptr, &info), 1);
  EXPECT_EQ(std::tuple(info.biWidth, info.biHeight, info.biBitCount, info.biSizeImage),
            std::tuple(kWidth, kHeight, uint16_t(24), uint32_t(kWidth * kHeight * 3)));
}

TEST_F(Mpeg4PlayThreadTest, CopiesOutOnlyAPictureThatFitsTheCallersBuffer) {
  Player player({});
  int32_t size = 1;
  uint8_t byte = 0;
  EXPECT_EQ(player.play.GetMpeg4Frame(&byte, &size, nullptr), -1) << "no picture yet";
  player.feed({encodeStream(false).pictures[0]});
  const size_t bytes = size_t(kWidth) * kHeight * 3;
  for (const size_t capacity : {bytes - 1, bytes}) {
    // Exactly as large as given, so a write past it is caught.
    std::unique_ptr<uint8_t[]> image(new uint8_t[capacity]);
    size = int32_t(capacity);
    EXPECT_EQ(player.play.GetMpeg4Frame(image.get(), &size, nullptr), capacity < bytes ? -1 : 1);
  }
}

TEST_F(Mpeg4PlayThreadTest, ABacklogOverItsCapsIsDroppedAndPlayRestartsAtAnIntraPicture) {
  const EncodedStream stream = encodeStream(true);
  Player player(stream.configuration);
  player.feed({stream.pictures[0]});
  for (size_t i = 0; i < Mpeg4PlayThread::kMaxQueuedPictures; ++i)
    player.play.handOff(stream.pictures[1]);
  EXPECT_EQ(player.play.queuedPictures(), Mpeg4PlayThread::kMaxQueuedPictures);
  player.play.handOff(stream.pictures[2]);
  EXPECT_EQ(player.play.queuedPictures(), 1u);
  // Byte cap: a picture that does not fit with what waits goes in alone.
  const Bytes large(Mpeg4PlayThread::kMaxQueuedBytes - 10, 0x55);
  player.play.handOff(large);
  EXPECT_EQ(player.play.queuedPictures(), 1u);
  player.feed({stream.pictures[2], stream.pictures[3], stream.pictures[4]});
  EXPECT_EQ(player.play.pictureCounter().load(), 3u) << "the P picture after the drop waits for I";
}

TEST_F(Mpeg4PlayThreadTest, ItsThreadPlaysWhatIsHandedOverAndStartsAgainAfterStop) {
  const EncodedStream stream = encodeStream(true);
  Player player(stream.configuration);
  EXPECT_EQ(player.play.Start(), platform::kStarted);
  EXPECT_EQ(player.play.Start(), platform::kAlreadyRunning);
  player.play.handOff(stream.pictures[0]);
  while (player.play.pictureCounter().load() == 0) platform::sleepMs(1);
  player.play.Stop();
  EXPECT_EQ(player.play.Start(), platform::kStarted);
  player.play.Stop();
}

}  // namespace
}  // namespace vexa
