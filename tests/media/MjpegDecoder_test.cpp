#include "media/MjpegDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

#include "support/Codecs.h"
#include "support/Picture.h"
#include "support/Planes.h"

namespace vexa {
namespace {

using test::bgrAt;
using test::encodeJpeg;
using test::grey;
using test::makeYuv;
using test::near;
using test::Rgb;
using Bytes = std::vector<uint8_t>;

constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kBlue{0, 0, 255};
constexpr int kColourTolerance = 12;  // JPEG loss on flat areas of saturated colour
constexpr uint8_t kSentinel = 0xA5;

class MjpegDecoderTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(decoder.Open()); }

  int decode(const Bytes& jpeg) {
    return decoder.Decode(int(jpeg.size()), jpeg.data(), image.data(), &info);
  }
  bool untouchedFrom(size_t offset) const {
    return std::all_of(image.begin() + std::ptrdiff_t(offset), image.end(),
                       [](uint8_t byte) { return byte == kSentinel; });
  }

  MjpegDecoder decoder;
  // The display's picture buffer, plus a guard band that must stay untouched.
  Bytes image = Bytes(kDisplayPictureBytes + 256, kSentinel);
  BITMAPINFOHEADER info{};
};

// The decoder lends its planes; the BGR made from them when first asked for stays within 2 per
// byte of FFmpeg's decode converted at once, as the display used to get it.
TEST_F(MjpegDecoderTest, LendsItsPlanesAndMakesTheBgrAnEagerConversionMade) {
  ffmpeg::Decoder reference(AV_CODEC_ID_MJPEG, 0, int64_t(1) << 24);
  ASSERT_TRUE(reference.open());
  for (const auto& [width, height] : {std::pair{321, 241}, {64, 48}}) {
    const Bytes jpeg = encodeJpeg(makeYuv(width, height, [](int x, int y) {
      return Rgb{uint8_t(x), uint8_t(y * 2), uint8_t(x + y)};
    }));
    const PictureLease lent = decoder.decode(jpeg);
    ASSERT_TRUE(lent && lent.frame() != nullptr);
    ASSERT_EQ(reference.decode(jpeg.data(), int(jpeg.size())), ffmpeg::DecodeResult::kPicture);
    const Bytes eager = test::eagerBgr(reference.frame(), SWS_FAST_BILINEAR);
    EXPECT_LE(test::largestDifference({lent.bits(), lent.bytes()}, eager), 2) << width;
  }
}

TEST_F(MjpegDecoderTest, DecodesBottomRowFirstInBgrOrderWithoutRowPadding) {
  // 101 x 3 = 303 bytes a row: any padding would shift every following row.
  constexpr int kWidth = 101, kHeight = 75;
  const auto quadrant = [](int x, int y) {
    return y < 38 ? (x < 50 ? kRed : Rgb{0, 255, 0}) : (x < 50 ? kBlue : Rgb{255, 255, 255});
  };
  ASSERT_EQ(decode(encodeJpeg(makeYuv(kWidth, kHeight, quadrant))), 0);
  const BITMAPINFOHEADER expected = makeBgrPictureHeader(kWidth, kHeight);
  EXPECT_EQ(std::memcmp(&info, &expected, sizeof info), 0);
  // Stored row 0 is the picture's bottom row.
  for (const auto& [x, pictureRow] : {std::pair{12, 10}, {88, 10}, {12, 65}, {100, 74}}) {
    const Rgb pixel = bgrAt(image.data(), kWidth, kHeight - 1 - pictureRow, x);
    EXPECT_TRUE(near(pixel, quadrant(x, pictureRow), kColourTolerance)) << pixel;
  }
  EXPECT_TRUE(untouchedFrom(size_t(kWidth) * kHeight * 3));
}

TEST_F(MjpegDecoderTest, KeepsGreyLevelsOfFullRangePictures) {
  // JPEG samples span 0-255; reading them as 16-235 would turn 16 into 0 and 235 into 255.
  const int levels[] = {0, 16, 40, 128, 215, 235, 255};
  const int width = 32 * int(std::size(levels));
  ASSERT_EQ(
      decode(encodeJpeg(makeYuv(width, 32, [&](int x, int) { return grey(levels[x / 32]); }))), 0);
  for (size_t i = 0; i < std::size(levels); ++i) {
    const Rgb pixel = bgrAt(image.data(), width, 16, int(i) * 32 + 16);
    EXPECT_TRUE(near(pixel, grey(levels[i]), 3)) << "level " << levels[i] << ": " << pixel;
  }
}

TEST_F(MjpegDecoderTest, RefusesPicturesLargerThanThePictureBuffer) {
  const auto flat = [](int, int) { return grey(90); };
  ASSERT_EQ(decode(encodeJpeg(makeYuv(kMaxDisplayWidth, kMaxDisplayHeight, flat))), 0);
  EXPECT_EQ(info.biSizeImage, kDisplayPictureBytes);
  const BITMAPINFOHEADER before = info;
  EXPECT_EQ(decode(encodeJpeg(makeYuv(kMaxDisplayWidth, kMaxDisplayHeight + 2, flat))), -1);
  EXPECT_EQ(std::memcmp(&info, &before, sizeof info), 0);
  EXPECT_TRUE(untouchedFrom(kDisplayPictureBytes));
}

TEST_F(MjpegDecoderTest, RejectsGarbageAndTruncatedInputAndRecovers) {
  const Bytes jpeg = encodeJpeg(makeYuv(128, 96, [](int, int y) { return y < 48 ? kRed : kBlue; }));
  EXPECT_EQ(decoder.Decode(0, jpeg.data(), image.data(), &info), -1);
  EXPECT_EQ(decoder.Decode(-5, jpeg.data(), image.data(), &info), -1);
  EXPECT_EQ(decoder.Decode(int(jpeg.size()), nullptr, image.data(), &info), -1);
  EXPECT_EQ(decoder.Decode(int(jpeg.size()), jpeg.data(), nullptr, &info), -1);
  std::mt19937 random(7);
  Bytes garbage(4000);
  for (auto& byte : garbage) byte = uint8_t(random());
  EXPECT_EQ(decode(garbage), -1);
  // Headers without any scan data carry no picture.
  const uint8_t startOfScan[] = {0xFF, 0xDA};
  const auto scan = std::search(jpeg.begin(), jpeg.end(), startOfScan, startOfScan + 2);
  EXPECT_EQ(decode(Bytes(jpeg.begin(), scan)), -1);
  // Cut inside the scan, or with the scan damaged: a partial picture or a refusal, never more.
  const auto partialOrRefused = [&](const Bytes& bytes) {
    const int result = decode(bytes);
    return result == 0 || result == -1;
  };
  EXPECT_TRUE(partialOrRefused(Bytes(jpeg.begin(), jpeg.begin() + long(jpeg.size() * 2 / 3))));
  for (int round = 0; round < 20; ++round) {
    Bytes damaged = jpeg;
    for (size_t i = size_t(scan - jpeg.begin()) + 20; i < jpeg.size(); i += 37)
      damaged[i] = uint8_t(random());
    EXPECT_TRUE(partialOrRefused(damaged)) << round;
  }
  EXPECT_TRUE(untouchedFrom(size_t(128) * 96 * 3));
  ASSERT_EQ(decode(jpeg), 0);
  EXPECT_TRUE(near(bgrAt(image.data(), 128, 0, 64), kBlue, kColourTolerance));
}

}  // namespace
}  // namespace vexa
